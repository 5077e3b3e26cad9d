#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "galdera/GalderaServer.h"
#include "galdera/StopSignal.h"
#include "galdera/TcpSocket.h"

namespace galdera {

/// The running server behind GalderaServer: listeners, accept threads, the sessions' threads,
/// the record of received commands and the fault settings. Sessions call back into it.
class ServerCore {
public:
    /// Keeps the options; nothing is bound until Start().
    explicit ServerCore(ServerOptions options);
    /// Stops and joins everything.
    ~ServerCore();
    ServerCore(const ServerCore&) = delete;
    ServerCore& operator=(const ServerCore&) = delete;

    /// Binds both listeners and starts their accept threads; false if either cannot be bound.
    bool Start();
    /// Wakes and joins every thread, closing every connection.
    void Stop();
    /// The bound hand-out port (0 before Start()).
    int HandoutPort() const { return mHandoutPort.load(); }
    /// The bound command port (0 before Start()).
    int CommandPort() const { return mCommandPort.load(); }

    /// Every command so far, in arrival order.
    std::vector<ReceivedCommand> Received() const;
    /// Waits for at least `count` commands; false on timeout.
    bool WaitForCommands(std::size_t count, std::chrono::milliseconds timeout) const;
    /// Sets the fault for the next `count` answers (-1: until reset).
    void SetFault(Fault fault, int count);
    /// Installs the scripted-answer function (empty: none).
    void SetAnswerOverride(std::function<std::optional<std::string>(const std::string&)> fn);

    /// The options the server was made with.
    const ServerOptions& Options() const { return mOptions; }
    /// The moment Start() was called: zero of the received-command times and record timestamps.
    std::chrono::steady_clock::time_point Epoch() const { return mEpoch; }
    /// Raised when the server stops; every blocking wait also watches it.
    const StopSignal& Stopping() const { return mStopping; }
    /// Keeps a command at `when` from connection `connection` and echoes it when asked to.
    void Record(std::chrono::steady_clock::time_point when, int connection, const std::string& text);
    /// The fault for the answer about to be sent, counting it down.
    Fault TakeFault();
    /// The scripted answer for `command`, if any.
    std::optional<std::string> OverrideFor(const std::string& command) const;
    /// Listens on a fresh port for one command connection, for the idle time at most; the port,
    /// or 0 on failure or when as many connections as allowed are open.
    int OpenHandedOutPort();
    /// Counts one more connection (or handed-out port) in; false when the cap is reached.
    bool TakeConnectionSlot();
    /// Counts one out again.
    void ReleaseConnectionSlot();
    /// Lists a connection for shutdown when the server stops (kept only while it lives).
    void Register(const std::shared_ptr<TcpSocket>& connection);

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> finished;  // written by the worker thread as it ends
    };

    void AcceptLoop(const std::shared_ptr<TcpSocket>& listener, bool handout);
    void AcceptOne(const std::shared_ptr<TcpSocket>& listener);
    void Serve(const std::shared_ptr<TcpSocket>& connection, int id, bool handout);
    /// Runs `work` on a new thread unless the server is stopping; joins finished workers first.
    bool SpawnWorker(std::function<void()> work);
    /// Says on the notices stream that a connection was closed for the cap.
    void NoticeRefusal();

    const ServerOptions mOptions;
    std::chrono::steady_clock::time_point mEpoch;
    StopSignal mStopping;
    std::atomic<int> mHandoutPort{0};       // written by the thread calling Start()
    std::atomic<int> mCommandPort{0};       // written by the thread calling Start()
    std::atomic<int> mNextConnectionId{1};  // incremented by the accept threads
    std::atomic<bool> mStarted{false};      // written by the thread calling Start()
    std::atomic<int> mOpenConnections{0};   // changed by the threads that take and release slots

    mutable std::mutex mRecordMutex;  // guards mReceived; also serialises echo lines
    mutable std::condition_variable mReceivedChanged;
    std::vector<ReceivedCommand> mReceived;

    mutable std::mutex mAnswerMutex;  // guards mFault, mFaultCount, mOverride
    Fault mFault = Fault::None;
    int mFaultCount = -1;
    std::function<std::optional<std::string>(const std::string&)> mOverride;

    std::mutex mNoticeMutex;  // guards the two below and the lines on the notices stream
    std::uint64_t mRefused = 0;
    std::chrono::steady_clock::time_point mLastNotice;

    std::mutex mWorkerMutex;  // guards mWorkers, mConnections, mRefuseWorkers
    std::list<Worker> mWorkers;
    std::vector<std::weak_ptr<TcpSocket>> mConnections;
    bool mRefuseWorkers = false;
};

}  // namespace galdera
