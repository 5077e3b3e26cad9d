#include "app/core/ControlServer.h"

#include <algorithm>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <optional>

namespace sequora {

namespace {

using Json = nlohmann::json;
using namespace std::chrono_literals;

const char kJsonType[] = "application/json";
const char kEventStreamType[] = "text/event-stream";
const char kBearerPrefix[] = "Bearer ";
// How long POST /stop waits for the run's end: the resets' answers included.
constexpr std::chrono::milliseconds kStopPatience = 10s;
// How long a closing host lets the event streams send their last events.
constexpr std::chrono::milliseconds kDrainPatience = 1s;
// How often a quiet event stream is checked for a client that went away.
constexpr std::chrono::milliseconds kEventPoll = 500ms;

void Answer(httplib::Response& response, int status, const std::string& body) {
    response.status = status;
    response.set_content(body, kJsonType);
}

void Fail(httplib::Response& response, int status, const std::string& message) {
    Answer(response, status, Json{{"error", message}}.dump());
}

// A request's body as a JSON object (an empty body is an empty object) holding only the
// `allowed` fields; otherwise answers 400 and gives none.
std::optional<Json> Body(const httplib::Request& request, httplib::Response& response,
                         std::initializer_list<const char*> allowed) {
    if (request.body.empty()) return Json::object();
    Json body = Json::parse(request.body, nullptr, false);
    if (body.is_discarded() || !body.is_object()) {
        Fail(response, 400, "the body is not a JSON object");
        return std::nullopt;
    }
    for (const auto& field : body.items()) {
        const std::string& key = field.key();
        if (std::find_if(allowed.begin(), allowed.end(), [&key](const char* name) { return key == name; }) ==
            allowed.end()) {
            Fail(response, 400, "unknown field \"" + key + "\"");
            return std::nullopt;
        }
    }
    return body;
}

// {"trials": N} (N ≥ 1) or {"continuous": true|false}; otherwise answers 400.
std::optional<StartRequest> ReadStart(const httplib::Request& request, httplib::Response& response) {
    const auto body = Body(request, response, {"trials", "continuous"});
    if (!body) return std::nullopt;
    StartRequest start;
    if (body->contains("trials")) {
        const Json& trials = (*body)["trials"];
        if (!trials.is_number_integer() || trials.get<long long>() < 1 ||
            trials.get<long long>() > 1000000000) {
            Fail(response, 400, "\"trials\" must be a whole number from 1 to 1000000000");
            return std::nullopt;
        }
        start.trials = trials.get<int>();
    }
    if (body->contains("continuous")) {
        if (!(*body)["continuous"].is_boolean()) {
            Fail(response, 400, "\"continuous\" must be true or false");
            return std::nullopt;
        }
        start.continuous = (*body)["continuous"].get<bool>();
    }
    return start;
}

std::string StatusJson(const ControlStatus& status) {
    Json json{{"state", ControlStateWord(status.state)},
              {"connected", status.connected},
              {"server", status.server},
              {"file", status.file},
              {"trial", status.trial},
              {"row", status.row},
              {"rows", status.rows},
              {"elapsed_ms", status.elapsedMs},
              {"journal", status.journal}};
    if (status.continuous) {
        json["trials"] = "continuous";
    } else {
        json["trials"] = status.trials;
    }
    json["seed"] = status.seed ? Json(*status.seed) : Json(nullptr);
    return json.dump();
}

}  // namespace

struct ControlServer::Http {
    httplib::Server server;
};

bool IsLoopbackAddress(const std::string& address) {
    return address == "localhost" || address == "::1" || address.rfind("127.", 0) == 0;
}

ControlServer::ControlServer(RunControl& control) : mControl(control), mHttp(std::make_unique<Http>()) {}

ControlServer::~ControlServer() {
    Stop();
}

bool ControlServer::Start(const ControlServerOptions& options, std::string& reason) {
    httplib::Server& server = mHttp->server;
    server.new_task_queue = [] { return new httplib::ThreadPool(kMaxClients); };
    server.set_payload_max_length(kMaxBodyBytes);
    // Small answers go out at once instead of waiting for the client's delayed ACK.
    server.set_tcp_nodelay(true);
    const std::string token = options.token;
    server.set_pre_routing_handler([token](const httplib::Request& request, httplib::Response& response) {
        if (token.empty() || request.get_header_value("Authorization") == kBearerPrefix + token)
            return httplib::Server::HandlerResponse::Unhandled;
        Fail(response, 401, "a valid \"Authorization: Bearer <token>\" header is needed");
        return httplib::Server::HandlerResponse::Handled;
    });
    server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (response.status == 413) Fail(response, 413, "the body is larger than 64 KiB");
        if (response.status == 404) Fail(response, 404, "no such resource");
    });

    RunControl& control = mControl;
    server.Get("/status", [&control](const httplib::Request&, httplib::Response& response) {
        Answer(response, 200, StatusJson(control.Status()));
    });
    const auto action = [&server](const char* path, const std::function<ControlReply()>& act) {
        server.Post(path, [act](const httplib::Request& request, httplib::Response& response) {
            if (!Body(request, response, {})) return;
            const ControlReply reply = act();
            Answer(response, reply.status, reply.body);
        });
    };
    server.Post("/start", [&control](const httplib::Request& request, httplib::Response& response) {
        const auto start = ReadStart(request, response);
        if (!start) return;
        const ControlReply reply = control.Start(*start);
        Answer(response, reply.status, reply.body);
    });
    if (control.Opens()) {
        server.Post("/open", [&control](const httplib::Request& request, httplib::Response& response) {
            const auto body = Body(request, response, {"path"});
            if (!body) return;
            if (!body->contains("path") || !(*body)["path"].is_string() ||
                (*body)["path"].get<std::string>().empty()) {
                Fail(response, 400, "\"path\" must name the item list to open");
                return;
            }
            const ControlReply reply = control.Open((*body)["path"].get<std::string>());
            Answer(response, reply.status, reply.body);
        });
    }
    action("/pause", [&control] { return control.Pause(); });
    action("/continue", [&control] { return control.Continue(); });
    action("/stop", [&control] { return control.Stop(kStopPatience); });
    server.Get("/events", [&control](const httplib::Request&, httplib::Response& response) {
        auto subscription = control.Subscribe();
        response.set_chunked_content_provider(
            kEventStreamType,
            [subscription](std::size_t, httplib::DataSink& sink) {
                // Events still queued when the host closes go out first; then the stream ends.
                if (const auto event = subscription->Next(kEventPoll)) {
                    const std::string text = "event: " + event->name + "\ndata: " + event->data + "\n\n";
                    return sink.write(text.data(), text.size());
                }
                if (!subscription->Open()) {
                    sink.done();
                    return true;
                }
                // A comment now and then finds out a client that has gone.
                const std::string keepAlive = ":\n\n";
                return sink.write(keepAlive.data(), keepAlive.size());
            },
            [&control, subscription](bool) { control.Unsubscribe(subscription); });
    });

    mPort = options.port == 0 ? server.bind_to_any_port(options.address) : options.port;
    if (options.port != 0 && !server.bind_to_port(options.address, options.port)) mPort = -1;
    if (mPort <= 0) {
        reason = "cannot listen on " + options.address + " port " + std::to_string(options.port);
        mPort = 0;
        return false;
    }
    mThread = std::thread([&server] { server.listen_after_bind(); });
    return true;
}

void ControlServer::Stop() {
    if (!mThread.joinable()) return;
    mControl.Close();
    // The event streams send what is still queued (the run's end, say) before the sockets go.
    mControl.AwaitSubscribersGone(kDrainPatience);
    mHttp->server.stop();
    mThread.join();
}

}  // namespace sequora
