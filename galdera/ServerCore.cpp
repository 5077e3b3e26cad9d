#include "galdera/ServerCore.h"

#include <algorithm>
#include <sys/socket.h>
#include <system_error>

#include "galdera/Session.h"

namespace galdera {

namespace {

int Milliseconds(std::chrono::milliseconds duration) {
    return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(duration.count(), 0, 1 << 30));
}

// The least time between two lines about refused connections.
constexpr auto kNoticeInterval = std::chrono::seconds(1);

// Gives a connection slot back when the work holding it ends.
struct SlotRelease {
    ServerCore* core;
    ~SlotRelease() { core->ReleaseConnectionSlot(); }
};

}  // namespace

ServerCore::ServerCore(ServerOptions options) : mOptions(std::move(options)) {}

ServerCore::~ServerCore() {
    Stop();
}

bool ServerCore::Start() {
    if (mStarted.exchange(true) || mStopping.IsRaised()) return false;
    mEpoch = std::chrono::steady_clock::now();
    auto handout =
        std::make_shared<TcpSocket>(ListenOn(mOptions.bindAddress, mOptions.handoutPort, SOMAXCONN));
    auto command =
        std::make_shared<TcpSocket>(ListenOn(mOptions.bindAddress, mOptions.commandPort, SOMAXCONN));
    if (!handout->IsValid() || !command->IsValid()) return false;
    mHandoutPort = handout->LocalPort();
    mCommandPort = command->LocalPort();
    SpawnWorker([this, handout] { AcceptLoop(handout, true); });
    SpawnWorker([this, command] { AcceptLoop(command, false); });
    return true;
}

void ServerCore::Stop() {
    std::list<Worker> workers;
    {
        std::lock_guard lock(mWorkerMutex);
        mRefuseWorkers = true;
        mStopping.Raise();
        for (const auto& weak : mConnections) {
            if (const auto connection = weak.lock()) connection->Shutdown();
        }
        mConnections.clear();
        workers.swap(mWorkers);
    }
    for (Worker& worker : workers) worker.thread.join();
}

std::vector<ReceivedCommand> ServerCore::Received() const {
    std::lock_guard lock(mRecordMutex);
    return mReceived;
}

bool ServerCore::WaitForCommands(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mRecordMutex);
    return mReceivedChanged.wait_for(lock, timeout, [&] { return mReceived.size() >= count; });
}

void ServerCore::SetFault(Fault fault, int count) {
    std::lock_guard lock(mAnswerMutex);
    mFault = count == 0 ? Fault::None : fault;
    mFaultCount = count;
}

void ServerCore::SetAnswerOverride(std::function<std::optional<std::string>(const std::string&)> fn) {
    std::lock_guard lock(mAnswerMutex);
    mOverride = std::move(fn);
}

void ServerCore::Record(std::chrono::steady_clock::time_point when, int connection, const std::string& text) {
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(when - mEpoch).count();
    {
        std::lock_guard lock(mRecordMutex);
        mReceived.push_back({micros, connection, text});
        if (mOptions.echo != nullptr) {
            *mOptions.echo << micros << ' ' << connection << ' ' << text << '\n';
            mOptions.echo->flush();
        }
    }
    mReceivedChanged.notify_all();
}

Fault ServerCore::TakeFault() {
    std::lock_guard lock(mAnswerMutex);
    const Fault fault = mFault;
    if (mFaultCount > 0 && --mFaultCount == 0) mFault = Fault::None;
    return fault;
}

std::optional<std::string> ServerCore::OverrideFor(const std::string& command) const {
    std::function<std::optional<std::string>(const std::string&)> fn;
    {
        std::lock_guard lock(mAnswerMutex);
        fn = mOverride;
    }
    // Called unlocked so that the script may itself change faults or overrides.
    return fn ? fn(command) : std::nullopt;
}

int ServerCore::OpenHandedOutPort() {
    // The port and the connection it waits for hold one slot together.
    if (!TakeConnectionSlot()) return 0;
    auto listener = std::make_shared<TcpSocket>(ListenOn(mOptions.bindAddress, 0, 1));
    const int port = listener->LocalPort();
    if (port != 0 && SpawnWorker([this, listener] {
            const SlotRelease release{this};
            AcceptOne(listener);
        }))
        return port;
    ReleaseConnectionSlot();
    return 0;
}

bool ServerCore::TakeConnectionSlot() {
    int open = mOpenConnections.load();
    do {
        if (open >= mOptions.maxConnections) return false;
    } while (!mOpenConnections.compare_exchange_weak(open, open + 1));
    return true;
}

void ServerCore::ReleaseConnectionSlot() {
    --mOpenConnections;
}

// One line a second at most: a flood of connections must not become a flood of lines (nor block
// the accept thread on a stderr nobody reads).
void ServerCore::NoticeRefusal() {
    if (mOptions.notices == nullptr) return;
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(mNoticeMutex);
    ++mRefused;
    if (mRefused > 1 && now - mLastNotice < kNoticeInterval) return;
    mLastNotice = now;
    *mOptions.notices << "galdera-sim: closed a new connection at once: " << mOptions.maxConnections
                      << " connections are open already (" << mRefused << " so far)" << std::endl;
}

void ServerCore::Register(const std::shared_ptr<TcpSocket>& connection) {
    std::lock_guard lock(mWorkerMutex);
    if (mRefuseWorkers) {
        connection->Shutdown();
        return;
    }
    std::erase_if(mConnections, [](const std::weak_ptr<TcpSocket>& weak) { return weak.expired(); });
    mConnections.push_back(connection);
}

void ServerCore::AcceptLoop(const std::shared_ptr<TcpSocket>& listener, bool handout) {
    for (;;) {
        const IoResult ready = WaitReadable(listener->Fd(), mStopping.Fd(), -1);
        if (ready == IoResult::Stopped || ready == IoResult::Failed) return;
        TcpSocket connection(accept4(listener->Fd(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!connection.IsValid()) {
            // The peer gave up before we took it, or descriptors ran out: do not spin.
            if (mStopping.SleepFor(std::chrono::milliseconds(10))) return;
            continue;
        }
        if (!TakeConnectionSlot()) {
            NoticeRefusal();
            continue;  // closed as `connection` goes
        }
        const int id = mNextConnectionId.fetch_add(1);
        auto shared = std::make_shared<TcpSocket>(std::move(connection));
        if (!SpawnWorker([this, shared, id, handout] {
                const SlotRelease release{this};
                Serve(shared, id, handout);
            }))
            ReleaseConnectionSlot();
    }
}

void ServerCore::AcceptOne(const std::shared_ptr<TcpSocket>& listener) {
    if (WaitReadable(listener->Fd(), mStopping.Fd(), Milliseconds(mOptions.idleTimeout)) != IoResult::Ok)
        return;
    auto connection = std::make_shared<TcpSocket>(accept4(listener->Fd(), nullptr, nullptr, SOCK_CLOEXEC));
    listener->Close();
    if (connection->IsValid()) Serve(connection, mNextConnectionId.fetch_add(1), false);
}

void ServerCore::Serve(const std::shared_ptr<TcpSocket>& connection, int id, bool handout) {
    SetNoDelay(connection->Fd());
    Register(connection);
    Session session(*this, connection, id, handout);
    session.Run();
}

bool ServerCore::SpawnWorker(std::function<void()> work) {
    std::lock_guard lock(mWorkerMutex);
    if (mRefuseWorkers) return false;
    // Join the threads that have ended, so a long-running server does not pile them up.
    for (auto worker = mWorkers.begin(); worker != mWorkers.end();) {
        if (worker->finished->load()) {
            worker->thread.join();
            worker = mWorkers.erase(worker);
        } else {
            ++worker;
        }
    }
    auto finished = std::make_shared<std::atomic<bool>>(false);
    try {
        std::thread thread([work = std::move(work), finished] {
            work();
            finished->store(true);
        });
        mWorkers.push_back({std::move(thread), finished});
    } catch (const std::system_error&) {
        return false;  // out of threads: the work is not done, as when stopping
    }
    return true;
}

}  // namespace galdera
