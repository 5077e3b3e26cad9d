#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace comlux {
class ComluxClient;
}

namespace sequora {

/// The connection procedure shared by the window and sequora-run: connect with the port
/// request, announce the application, fetch the server's objects and types; disconnect.
/// Each step may be taken synchronously (Connect, Disconnect) or handed to the session's
/// worker thread (ConnectAsync, DisconnectAsync, CheckConnectionAsync), whose results come
/// back on the owner's thread through the Poster; an asynchronous attempt can be abandoned
/// at once (Cancel).
///
/// Threads: the owner's thread (the one the Poster runs tasks on) creates and destroys the
/// session and calls everything but Cancel, which any thread may call and which never
/// blocks. The worker thread (started with the first asynchronous call) runs the queued
/// steps one after another, so a connect queued behind a disconnect finds the connection
/// closed. Cancel cuts an attempt short by closing the client's connection on a closer
/// thread of its own, which the worker joins before it goes on. Completions run on the
/// owner's thread and never after the session is destroyed. Destruction abandons the
/// attempt under way, drops the steps still queued and joins the worker (without holding
/// mLock); a name that is still being resolved is waited for.
class ServerSession {
public:
    /// Shows one of the procedure's messages to the user and returns when it was seen.
    using ShowMessage = std::function<void(const std::string& text)>;
    /// Runs `task` on the owner's thread, later (never inside the call); callable from any thread.
    using Poster = std::function<void(std::function<void()> task)>;

    /// How an asynchronous attempt ended.
    enum class ConnectResult { Connected, Failed, Cancelled };

    /// What an asynchronous attempt gives the owner.
    struct ConnectOutcome {
        ConnectResult result = ConnectResult::Failed;
        /// The procedure's messages for the user, in order (none for a cancelled attempt).
        std::vector<std::string> messages;
        /// Connected, but an answer the client gave up on during the requests closed the
        /// connection again: there is nothing to send on.
        bool closedDuringRequests = false;
        /// The server port the command connection was made to (when connected).
        int commandPort = 0;
    };
    /// Receives the outcome on the owner's thread.
    using ConnectDone = std::function<void(const ConnectOutcome& outcome)>;

    /// The message of a connection that could not be made.
    static constexpr char kConnectionFailed[] = "Connection Failed, Please check log file for details";

    /// `client` is not owned and must outlive the session. Without a `poster` only the
    /// synchronous steps are available.
    explicit ServerSession(comlux::ComluxClient& client, Poster poster = {});
    ~ServerSession();
    ServerSession(const ServerSession&) = delete;
    ServerSession& operator=(const ServerSession&) = delete;

    /// Connects to `serverName`. On failure shows "Connection Failed, Please check log
    /// file for details" and returns false. On success sets the application name
    /// "Sequora" and fetches the objects and types; when that fails it shows "Retrieval of
    /// Galdera Objects and Types was Failed" but stays connected. Returns true when connected.
    bool Connect(const std::string& serverName, const ShowMessage& show);
    /// Closes the connection (also when not connected: the client then only logs a warning).
    void Disconnect();

    /// Runs Connect's procedure on the worker and calls `done` on the owner's thread; the
    /// messages Connect would show come in the outcome. False (and no `done`) without a
    /// Poster or while another attempt is pending.
    bool ConnectAsync(const std::string& serverName, ConnectDone done);
    /// Abandons the pending attempt at once: its completion reports Cancelled and whatever
    /// it connected is closed. False when no attempt was pending. Any thread.
    bool Cancel();
    /// Abandons a pending attempt and closes the connection on the worker, as Disconnect;
    /// Connected() is false at once, `done` (may be empty) follows on the owner's thread.
    /// False without a Poster.
    bool DisconnectAsync(std::function<void()> done);
    /// Asks the client on the worker whether its command connection is still up and not ended
    /// by the server (which may wait for another thread's command; nothing is sent) and tells
    /// `done` on the owner's thread. False without a Poster.
    bool CheckConnectionAsync(std::function<void(bool up)> done);

    /// True between ConnectAsync and its completion.
    bool Connecting() const;
    /// True between a successful connect and the next disconnect.
    bool Connected() const { return mConnected; }
    /// The server's object names from the last connect.
    const std::vector<std::string>& ObjectNames() const { return mObjectNames; }
    /// The objects' types, parallel to ObjectNames().
    const std::vector<std::string>& ObjectTypes() const { return mObjectTypes; }

private:
    struct Attempt;
    struct Procedure;

    Procedure RunProcedure(const std::string& serverName, const std::function<bool()>& abandoned);
    void RunAttempt(const std::shared_ptr<Attempt>& attempt, const std::string& serverName,
                    const ConnectDone& done);
    void Deliver(const std::shared_ptr<Attempt>& attempt, Procedure procedure, bool up, int port,
                 const ConnectDone& done);
    bool CancelLocked(bool closeWhatItLeft);
    void EnqueueLocked(std::function<void()> step);
    void Post(std::function<void()> task);
    void Work();

    comlux::ComluxClient& mClient;
    const Poster mPoster;
    // Set false by the destructor, read by the posted tasks: both on the owner's thread.
    const std::shared_ptr<bool> mAlive = std::make_shared<bool>(true);

    bool mConnected = false;                // owner's thread
    std::vector<std::string> mObjectNames;  // owner's thread
    std::vector<std::string> mObjectTypes;  // owner's thread

    mutable std::mutex mLock;  // guards the members below
    std::condition_variable mQueued;
    std::deque<std::function<void()>> mSteps;  // waiting for the worker
    std::shared_ptr<Attempt> mAttempt;         // the pending attempt, null when none
    std::thread mCloser;                       // started by Cancel, joined by the worker
    std::thread mWorker;                       // started by EnqueueLocked, joined by the destructor
    bool mStopping = false;                    // set by the destructor
};

}  // namespace sequora
