#include "app/core/ServerSession.h"

#include <utility>

#include "comlux/ComluxClient.h"

namespace sequora {

namespace {

const char kObjectsFailed[] = "Retrieval of Galdera Objects and Types was Failed";
const char kApplicationName[] = "Sequora";

}  // namespace

// One asynchronous attempt, shared by the owner, the worker and Cancel; guarded by mLock.
struct ServerSession::Attempt {
    bool cancelled = false;
    bool running = false;    // the worker is inside the procedure
    bool connected = false;  // the procedure left a connection behind
};

// What the procedure did, for the owner.
struct ServerSession::Procedure {
    bool connected = false;
    std::vector<std::string> messages;
    std::vector<std::string> names;
    std::vector<std::string> types;
};

ServerSession::ServerSession(comlux::ComluxClient& client, Poster poster)
    : mClient(client), mPoster(std::move(poster)) {}

ServerSession::~ServerSession() {
    *mAlive = false;
    Cancel();
    std::thread worker;
    {
        std::lock_guard guard(mLock);
        mStopping = true;
        mSteps.clear();
        worker = std::move(mWorker);
    }
    mQueued.notify_all();
    if (worker.joinable()) worker.join();
}

ServerSession::Procedure ServerSession::RunProcedure(const std::string& serverName,
                                                     const std::function<bool()>& abandoned) {
    Procedure done;
    if (!mClient.OpenConnection(serverName, true)) {
        if (!abandoned()) done.messages.emplace_back(kConnectionFailed);
        return done;
    }
    done.connected = true;
    if (abandoned()) return done;
    mClient.SetApplicationName(kApplicationName);
    if (!mClient.GetObjectsAndTypes(done.names, done.types)) done.messages.emplace_back(kObjectsFailed);
    return done;
}

bool ServerSession::Connect(const std::string& serverName, const ShowMessage& show) {
    Procedure done = RunProcedure(serverName, [] { return false; });
    for (const std::string& message : done.messages) show(message);
    if (!done.connected) return false;
    mConnected = true;
    mObjectNames = std::move(done.names);
    mObjectTypes = std::move(done.types);
    return true;
}

void ServerSession::Disconnect() {
    mClient.CloseConnection();
    mConnected = false;
}

bool ServerSession::ConnectAsync(const std::string& serverName, ConnectDone done) {
    if (!mPoster) return false;
    auto attempt = std::make_shared<Attempt>();
    std::lock_guard guard(mLock);
    if (mAttempt) return false;
    mAttempt = attempt;
    EnqueueLocked(
        [this, attempt, serverName, done = std::move(done)] { RunAttempt(attempt, serverName, done); });
    return true;
}

bool ServerSession::Cancel() {
    std::lock_guard guard(mLock);
    return CancelLocked(true);
}

bool ServerSession::CancelLocked(bool closeWhatItLeft) {
    if (!mAttempt || mAttempt->cancelled) return false;
    mAttempt->cancelled = true;
    if (mAttempt->running) {
        // Closing the connection cuts a connect or an answer short; it returns once the
        // procedure has let go of the client, which is why it has a thread of its own.
        if (!mCloser.joinable()) mCloser = std::thread([this] { mClient.CloseConnection(); });
    } else if (mAttempt->connected && closeWhatItLeft) {
        // Over, but not yet delivered: the connection it made goes again.
        EnqueueLocked([this] { mClient.CloseConnection(); });
    }
    return true;
}

bool ServerSession::DisconnectAsync(std::function<void()> done) {
    if (!mPoster) return false;
    mConnected = false;
    std::lock_guard guard(mLock);
    CancelLocked(false);
    EnqueueLocked([this, done = std::move(done)] {
        mClient.CloseConnection();
        if (done) Post(done);
    });
    return true;
}

bool ServerSession::CheckConnectionAsync(std::function<void(bool up)> done) {
    if (!mPoster) return false;
    std::lock_guard guard(mLock);
    EnqueueLocked([this, done = std::move(done)] {
        const bool up = mClient.IsConnected() && !mClient.ServerClosedConnection();
        Post([done, up] { done(up); });
    });
    return true;
}

bool ServerSession::Connecting() const {
    std::lock_guard guard(mLock);
    return mAttempt != nullptr;
}

void ServerSession::RunAttempt(const std::shared_ptr<Attempt>& attempt, const std::string& serverName,
                               const ConnectDone& done) {
    const auto abandoned = [this, &attempt] {
        std::lock_guard guard(mLock);
        return attempt->cancelled;
    };
    bool start = false;
    {
        std::lock_guard guard(mLock);
        start = !attempt->cancelled;
        attempt->running = start;
    }
    Procedure procedure;
    if (start) procedure = RunProcedure(serverName, abandoned);
    std::thread closer;
    {
        std::lock_guard guard(mLock);
        attempt->running = false;
        attempt->connected = procedure.connected && !attempt->cancelled;
        closer = std::move(mCloser);
    }
    // Joined before the next step, so that a close never lands on a later connection.
    if (closer.joinable()) closer.join();
    const bool up = !abandoned() && procedure.connected && mClient.IsConnected();
    const int port = up ? mClient.GetCommandPort() : 0;
    Deliver(attempt, std::move(procedure), up, port, done);
}

void ServerSession::Deliver(const std::shared_ptr<Attempt>& attempt, Procedure procedure, bool up, int port,
                            const ConnectDone& done) {
    Post([this, attempt, procedure = std::move(procedure), up, port, done]() mutable {
        bool cancelled = false;
        {
            std::lock_guard guard(mLock);
            cancelled = attempt->cancelled;
            mAttempt.reset();
        }
        ConnectOutcome outcome;
        if (cancelled) {
            outcome.result = ConnectResult::Cancelled;
        } else {
            outcome.result = procedure.connected ? ConnectResult::Connected : ConnectResult::Failed;
            outcome.messages = std::move(procedure.messages);
            outcome.closedDuringRequests = procedure.connected && !up;
            outcome.commandPort = port;
        }
        if (outcome.result == ConnectResult::Connected) {
            mConnected = true;
            mObjectNames = std::move(procedure.names);
            mObjectTypes = std::move(procedure.types);
        }
        done(outcome);
    });
}

void ServerSession::EnqueueLocked(std::function<void()> step) {
    if (mStopping) return;
    mSteps.push_back(std::move(step));
    if (!mWorker.joinable()) mWorker = std::thread(&ServerSession::Work, this);
    mQueued.notify_one();
}

void ServerSession::Post(std::function<void()> task) {
    {
        std::lock_guard guard(mLock);
        if (mStopping) return;
    }
    // The owner may destroy the session before the task comes round.
    mPoster([alive = mAlive, task = std::move(task)] {
        if (*alive) task();
    });
}

void ServerSession::Work() {
    for (;;) {
        std::function<void()> step;
        {
            std::unique_lock lock(mLock);
            mQueued.wait(lock, [this] { return mStopping || !mSteps.empty(); });
            if (mStopping) return;
            step = std::move(mSteps.front());
            mSteps.pop_front();
        }
        step();
    }
}

}  // namespace sequora
