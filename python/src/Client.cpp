#include "python/src/Client.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <pybind11/pybind11.h>

#include "python/src/Waiting.h"

namespace py = pybind11;

namespace comlux_python {

namespace {

// The name this client gives itself on the server.
constexpr const char* kApplicationName = "comlux-python";
// Said when an operation failed and the log has nothing to say about it.
constexpr const char* kNoReason = "no reason in the client log (refused by the server, or not connected)";
constexpr const char* kClosed = "the client is closed";
constexpr int kHighestPort = 65535;

std::chrono::milliseconds TimeoutOf(double seconds) {
    if (!(seconds > 0) || !std::isfinite(seconds))
        throw std::invalid_argument("timeout must be above 0 seconds");
    return std::chrono::milliseconds(std::max<long long>(1, std::llround(seconds * 1000)));
}

void CheckPort(const char* name, int port) {
    if (port < 0 || port > kHighestPort) {
        throw std::invalid_argument(std::string(name) + " must be from 1 to 65535, not " +
                                    std::to_string(port));
    }
}

}  // namespace

Client::Client(const Settings& settings) : mSession(std::make_shared<Session>()), mLogPath(settings.logPath) {
    const auto timeout = TimeoutOf(settings.timeoutSeconds);
    CheckPort("handout_port", settings.handoutPort);
    CheckPort("command_port", settings.commandPort);
    comlux::ComluxClient& client = mSession->client;
    client.SetConnectTimeout(timeout);
    client.SetSendTimeout(timeout);
    client.SetAnswerTimeout(timeout);
    if (settings.handoutPort != 0 || settings.commandPort != 0) {
        client.SetPorts(settings.handoutPort != 0 ? settings.handoutPort : 26200,
                        settings.commandPort != 0 ? settings.commandPort : 26100);
    }

    if (settings.logPath) {
        if (!client.OpenLogFile(*settings.logPath) || !mLog.Follow(*settings.logPath)) {
            throw ComluxError("cannot open the log file " + *settings.logPath);
        }
    } else {
        std::string error;
        if (!mLog.CreatePrivate(error) || !client.OpenLogFile(mLog.Path())) throw ComluxError(error);
        mLog.Forget();
    }

    const std::string host = settings.host;
    const auto mark = mLog.Mark();
    if (!RunInterruptibly(mSession,
                          [host](comlux::ComluxClient& c) { return c.OpenConnection(host, true); })) {
        std::string problems = mLog.ProblemsSince(mark);
        RunInterruptibly(mSession, [](comlux::ComluxClient& c) { return c.CloseConnection(); });
        throw ComluxError("cannot connect to " + host + ": " + (problems.empty() ? kNoReason : problems));
    }
    RunInterruptibly(mSession,
                     [](comlux::ComluxClient& c) { return c.SetApplicationName(kApplicationName); });
}

Client::~Client() {
    // The client may wait for its receive threads; none of them needs the GIL.
    py::gil_scoped_release unlocked;
    for (const auto& weak : mStreams) {
        if (const auto buffer = weak.lock()) buffer->Close();
    }
    mSession.reset();
}

void Client::Close() {
    if (mClosed) return;
    mClosed = true;
    for (const auto& weak : mStreams) {
        if (const auto buffer = weak.lock()) {
            mSession->router.Detach(*buffer);
            buffer->Close();
        }
    }
    mStreams.clear();
    RunInterruptibly(mSession, [](comlux::ComluxClient& c) {
        c.CloseConnection();
        return c.CloseLogFile();
    });
}

void Client::RequireOpen() const {
    if (mClosed) throw ComluxError(kClosed);
}

void Client::Run(const std::string& what, Operation operation) {
    RequireOpen();
    const auto mark = mLog.Mark();
    if (RunInterruptibly(mSession, std::move(operation))) return;
    const std::string problems = mLog.ProblemsSince(mark);
    throw ComluxError(what + " failed: " + (problems.empty() ? kNoReason : problems));
}

bool Client::Connected() {
    if (mClosed) return false;
    return RunInterruptibly(mSession, [](comlux::ComluxClient& c) { return c.IsConnected(); });
}

std::string Client::ServerApplicationName() {
    auto name = std::make_shared<std::string>();
    Run("reading the server's application name", [name](comlux::ComluxClient& c) {
        *name = c.GetServerApplicationName();
        return true;
    });
    return *name;
}

void Client::ListObjects(std::vector<std::string>& names, std::vector<std::string>& types) {
    auto lists = std::make_shared<std::pair<std::vector<std::string>, std::vector<std::string>>>();
    Run("reading the server's objects and types",
        [lists](comlux::ComluxClient& c) { return c.GetObjectsAndTypes(lists->first, lists->second); });
    names = std::move(lists->first);
    types = std::move(lists->second);
}

std::vector<std::string> Client::Objects() {
    std::vector<std::string> names, types;
    ListObjects(names, types);
    return names;
}

std::vector<std::string> Client::Types() {
    std::vector<std::string> names, types;
    ListObjects(names, types);
    return types;
}

std::string Client::SendCommand(const std::string& command) {
    auto answer = std::make_shared<std::string>();
    Run("the command " + command,
        [command, answer](comlux::ComluxClient& c) { return c.SendCommand(command, *answer); });
    return *answer;
}

std::string Client::RequestFeature(const std::string& name, int value) {
    auto answer = std::make_shared<std::string>();
    Run("the feature request " + name + " " + std::to_string(value),
        [name, value, answer](comlux::ComluxClient& c) { return c.RequestFeature(name, value, *answer); });
    return *answer;
}

int Client::SamplingFrequency(const std::string& object) {
    auto frequency = std::make_shared<int>(0);
    Run("the sampling frequency of " + object, [object, frequency](comlux::ComluxClient& c) {
        return c.RequestSamplingFrequency(object, *frequency);
    });
    return *frequency;
}

std::pair<int, int> Client::AdRange(const std::string& object) {
    auto range = std::make_shared<std::pair<int, int>>();
    Run("the A/D range of " + object, [object, range](comlux::ComluxClient& c) {
        return c.RequestADRange(object, range->first, range->second);
    });
    return *range;
}

std::pair<int, int> Client::RingBufferSize(const std::string& object) {
    auto size = std::make_shared<std::pair<int, int>>();
    Run("the ring buffer size of " + object, [object, size](comlux::ComluxClient& c) {
        return c.RequestRingBufferSize(object, size->first, size->second);
    });
    return *size;
}

StreamObject Client::Resolve(const std::string& name, const std::vector<std::string>& names,
                             const std::vector<std::string>& types) {
    const auto found = std::find(names.begin(), names.end(), name);
    const auto index = static_cast<std::size_t>(found - names.begin());
    if (found == names.end() || index >= types.size()) throw ComluxError("the server has no object " + name);
    const auto kind = comlux::StreamKindOfDataType(types[index]);
    if (!kind) throw ComluxError(name + " is of data type " + types[index] + ", which has no data stream");
    return {name, types[index], *kind};
}

void Client::OpenStream(const std::string& object) {
    std::vector<std::string> names, types;
    ListObjects(names, types);
    const StreamObject resolved = Resolve(object, names, types);
    Run("opening the stream of " + object,
        [resolved](comlux::ComluxClient& c) { return c.OpenStream(resolved.name, resolved.dataType); });
}

void Client::CloseStream(const std::string& object) {
    std::vector<std::string> names, types;
    ListObjects(names, types);
    const StreamObject resolved = Resolve(object, names, types);
    Run("closing the stream of " + object,
        [resolved](comlux::ComluxClient& c) { return c.CloseStream(resolved.name, resolved.dataType); });
}

std::shared_ptr<StreamBuffer> Client::StartStream(const std::vector<std::string>& objects,
                                                  std::size_t maxBuffered,
                                                  std::vector<StreamObject>& opened) {
    if (objects.empty()) throw std::invalid_argument("stream needs at least one object");
    if (maxBuffered == 0) throw std::invalid_argument("max_buffered must be at least 1");
    std::vector<std::string> names, types;
    ListObjects(names, types);
    std::vector<StreamObject> wanted;
    for (const std::string& name : objects) {
        const auto same = [&name](const StreamObject& o) { return o.name == name; };
        if (std::none_of(wanted.begin(), wanted.end(), same)) wanted.push_back(Resolve(name, names, types));
    }
    std::vector<std::string> wantedNames;
    std::vector<comlux::StreamKind> wantedKinds;
    for (const StreamObject& object : wanted) {
        wantedNames.push_back(object.name);
        wantedKinds.push_back(object.kind);
    }
    auto buffer = std::make_shared<StreamBuffer>(maxBuffered, wantedNames, wantedKinds);
    comlux::StreamKind busy{};
    if (!mSession->router.Attach(wantedKinds, buffer, busy)) {
        throw ComluxError("another open stream already receives " +
                          std::string(comlux::InfoOf(busy).kindWord) + " records; close it first");
    }
    mStreams.push_back(buffer);
    try {
        for (const StreamObject& object : wanted) {
            Run("opening the stream of " + object.name,
                [object](comlux::ComluxClient& c) { return c.OpenStream(object.name, object.dataType); });
            opened.push_back(object);
        }
    } catch (...) {
        StopStream(buffer, opened);
        opened.clear();
        throw;
    }
    return buffer;
}

void Client::StopStream(const std::shared_ptr<StreamBuffer>& buffer,
                        const std::vector<StreamObject>& opened) {
    // The buffer is let go even when Ctrl-C cuts the closing short.
    struct LetGo {
        Client& client;
        const std::shared_ptr<StreamBuffer>& buffer;
        ~LetGo() {
            client.mSession->router.Detach(*buffer);
            buffer->Close();
            std::erase_if(client.mStreams, [this](const std::weak_ptr<StreamBuffer>& weak) {
                const auto held = weak.lock();
                return !held || held == buffer;
            });
        }
    } letGo{*this, buffer};
    if (!mClosed) {
        for (const StreamObject& object : opened) {
            RunInterruptibly(mSession, [object](comlux::ComluxClient& c) {
                return c.CloseStream(object.name, object.dataType);
            });
        }
    }
}

}  // namespace comlux_python
