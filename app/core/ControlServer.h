#pragma once

#include <memory>
#include <string>
#include <thread>

#include "app/core/RunControl.h"

namespace sequora {

/// Where the control API listens and whom it answers.
struct ControlServerOptions {
    std::string address = "127.0.0.1";
    int port = 0;       ///< 0: any free port (see ControlServer::Port)
    std::string token;  ///< when set, every request needs "Authorization: Bearer <token>"
};

/// Serves a RunControl over HTTP/1.1 with JSON bodies: GET /status, POST /start, /pause,
/// /continue, /stop and GET /events (server-sent events). Bodies over 64 KiB are refused
/// with 413, bad JSON or unknown fields with 400, a missing or wrong token with 401, and
/// what the host refuses with 409 and its own message.
///
/// Threads: Start runs the server on a thread of its own, which serves at most
/// kMaxClients requests at once on a pool of threads; Stop (or the destructor) ends the
/// event streams, stops the server and joins it. The RunControl must outlive the server.
class ControlServer {
public:
    static constexpr int kMaxClients = 16;
    static constexpr std::size_t kMaxBodyBytes = 64 * 1024;

    explicit ControlServer(RunControl& control);
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    /// Binds and starts serving; false with the reason when the address cannot be bound.
    bool Start(const ControlServerOptions& options, std::string& reason);
    /// The port listened on, once started.
    int Port() const { return mPort; }
    void Stop();

private:
    struct Http;
    RunControl& mControl;
    std::unique_ptr<Http> mHttp;  // the server; used by its own threads once started
    std::thread mThread;
    int mPort = 0;  // written by Start before the server's thread begins
};

/// True for the addresses that only this computer can reach (127.0.0.0/8, ::1, localhost).
bool IsLoopbackAddress(const std::string& address);

}  // namespace sequora
