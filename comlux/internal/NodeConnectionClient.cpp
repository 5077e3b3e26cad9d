#include "comlux/internal/NodeConnectionClient.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>

#include "comlux/ClientLogFile.h"
#include "comlux/HostNames.h"
#include "comlux/internal/ListenerErrorReports.h"
#include "comlux/internal/ReceiveThread.h"
#include "comlux/internal/RecordDecoders.h"
#include "comlux/internal/RecordIntake.h"
#include "comlux/internal/Socket.h"
#include "comlux/internal/SocketErrors.h"
#include "comlux/internal/StreamAddress.h"

namespace comlux {

/// What one start of the listener owns: shared by the owner and the receive thread, so that a
/// thread still finishing a record callback after its listener is gone uses nothing freed.
struct NodeConnectionClient::Run {
    Socket listenSocket;
    Socket clientSocket;                   // handed over by the receive thread under `lock` after accept
    std::unique_ptr<RecordIntake> intake;  // the receive thread's while it runs
    std::string serverAddress;
    std::shared_ptr<StreamRegistration> registration;
    StreamRegistration::Snapshot registered;  // the receive thread's copy of the registration
    std::thread thread;                       // owner only
    std::atomic<bool> stopRequested{false};   // raised by the owner (under `lock`), read by the thread
    std::mutex lock;                          // guards `finished` and the hand-over of clientSocket
    std::condition_variable ended;
    bool finished = false;       // set by the receive thread as its last act
    bool reportedThrow = false;  // the receive thread's: a callback's exception was logged
};

namespace {

// What one receive call may take in: many small records per call, yet cheap to hold.
constexpr std::size_t kIntakeBytes = 256 * 1024;
// The owner never waits longer than this for a receive thread to end.
constexpr auto kThreadEndBound = std::chrono::milliseconds(500);
constexpr int kListenBacklog = 2;
constexpr const char* kCallbackThrew =
    "NodeConnectionClient::ExecuteCallback() - Error, the record callback threw an exception, the "
    "records that follow are still delivered.  what: ";
// Above normal, as far as the system lets an unprivileged process go.
constexpr int kReceiveThreadNice = -5;

void RaiseCurrentThreadPriority() {
    // Linux applies a nice value per thread; without the privilege the call fails and the
    // thread simply keeps normal priority.
    (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kReceiveThreadNice);
}

int LastErrorOrErrno() {
    const int err = errno;
    const int code = WsaCodeFromErrno(err);
    return code != 0 ? code : err;
}

// A server on this computer may reach a loopback listener from any loopback address.
bool IsServerAddress(const std::string& peer, const std::string& server) {
    return peer == server || (IsLoopbackAddress(peer) && IsLoopbackAddress(server));
}

}  // namespace

NodeConnectionClient::NodeConnectionClient(StreamKind kind)
    : mKind(kind),
      mStreamType(InfoOf(kind).kindWord),
      mRegistration(std::make_shared<StreamRegistration>(kind)) {}

NodeConnectionClient::~NodeConnectionClient() {
    if (mRun) {
        if (mRun->thread.joinable()) RequestStop(*mRun, false);
        mStoppedRuns.push_back(std::exchange(mRun, nullptr));
    }
    for (const std::shared_ptr<Run>& run : mStoppedRuns) {
        if (!run->thread.joinable()) continue;
        if (run->thread.get_id() == std::this_thread::get_id()) {
            // Destroyed from inside its own record callback: the thread ends by itself once the
            // callback returns, on the Run it shares.
            run->thread.detach();
            continue;
        }
        run->thread.join();
        CloseSockets(*run, false);
    }
}

void NodeConnectionClient::SetCallback(RecordCallback callback, void* context) {
    mRegistration->SetCallback(callback, context);
}

void NodeConnectionClient::SetObjectNames(const std::vector<std::string>& names,
                                          const std::vector<std::string>& types) {
    mRegistration->SetObjectNames(names, types);
}

void NodeConnectionClient::WaitForEarlierCallbacks() {
    mRegistration->WaitForEarlierCalls();
}

void NodeConnectionClient::SetLogFile(ClientLogFile* log) {
    mLogFile = log;
}

void NodeConnectionClient::SetEndpoints(std::string localAddress, std::string serverAddress) {
    mLocalAddress = std::move(localAddress);
    mServerAddress = std::move(serverAddress);
}

void NodeConnectionClient::SetStopObserver(std::function<void()> observer) {
    mStopObserver = std::move(observer);
}

StreamState NodeConnectionClient::State() const {
    if (!mRun || !mRun->thread.joinable()) return StreamState::NotListening;
    std::lock_guard lock(mRun->lock);
    if (mRun->clientSocket.IsValid()) return mRun->finished ? StreamState::Ended : StreamState::Connected;
    return mRun->finished ? StreamState::NotListening : StreamState::WaitingForServer;
}

std::string NodeConnectionClient::LastReport() const {
    std::lock_guard lock(mMessageLock);
    return mMessage;
}

void NodeConnectionClient::Report(int level, const std::string& message) {
    {
        std::lock_guard lock(mMessageLock);
        mMessage = message;
    }
    if (mLogFile != nullptr) mLogFile->WriteEntry(level, message);
}

void NodeConnectionClient::ReportSocketError(const ListenerErrorTable& table, int errorCode) {
    Report(Error, FormatListenerError(table, errorCode, mStreamType));
}

void NodeConnectionClient::ProcessRecieveError(int errorCode) {
    ReportSocketError(kRecieveErrors, errorCode);
}

void NodeConnectionClient::ProcessCloseError(int errorCode) {
    ReportSocketError(kCloseErrors, errorCode);
}

bool NodeConnectionClient::InitServerStream(int portNumber) {
    return Start(portNumber, false);
}

bool NodeConnectionClient::InitServerStreamOnFreePort() {
    return Start(0, true);
}

bool NodeConnectionClient::Start(int portNumber, bool anyPort) {
    // A listener left started (a set-up that stopped half-way) starts again as from Idle.
    if (mRun) CloseServerStream();
    auto run = std::make_shared<Run>();
    run->serverAddress = mServerAddress;
    run->registration = mRegistration;
    mRun = run;
    if (!CreateSocket(*run) || !BindSocket(*run, portNumber, anyPort) || !ListenToSocket(*run) ||
        !CreateRecieveBuffer(*run))
        return false;
    return StartReceiveThread(run);
}

bool NodeConnectionClient::CreateSocket(Run& run) {
    run.listenSocket = Socket::CreateTcp();
    if (run.listenSocket.IsValid()) return true;
    ReportSocketError(kCreateSocketErrors, LastSocketError());
    return false;
}

bool NodeConnectionClient::BindSocket(Run& run, int portNumber, bool anyPort) {
    if (portNumber < (anyPort ? 0 : 1) || portNumber > 0xFFFF) {
        // Port 0 would listen on a port the server was never told about; so would one cut to 16 bits.
        Report(Error, "NodeConnectionClient::BindSocket() - Error Binding Socket, invalid port number: " +
                          std::to_string(portNumber) + "  mStreamType: " + mStreamType);
        return false;
    }
    // A restart on the same port must not wait for the old connection's TIME_WAIT to pass.
    const int reuse = 1;
    (void)::setsockopt(run.listenSocket.Fd(), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(portNumber));
    // Only the address the server was told: the stream is not offered on every interface.
    if (::inet_pton(AF_INET, mLocalAddress.c_str(), &address.sin_addr) != 1) {
        ReportSocketError(kBindSocketErrors, WSAEADDRNOTAVAIL);
        return false;
    }
    if (::bind(run.listenSocket.Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return true;
    ReportSocketError(kBindSocketErrors, LastSocketError());
    return false;
}

bool NodeConnectionClient::ListenToSocket(Run& run) {
    if (::listen(run.listenSocket.Fd(), kListenBacklog) != 0) {
        ReportSocketError(kListenToSocketErrors, LastSocketError());
        return false;
    }
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    if (::getsockname(run.listenSocket.Fd(), reinterpret_cast<sockaddr*>(&bound), &length) == 0)
        mBoundPort = ntohs(bound.sin_port);
    return true;
}

bool NodeConnectionClient::CreateRecieveBuffer(Run& run) {
    run.intake = std::make_unique<RecordIntake>(static_cast<std::size_t>(RecordSize()), kIntakeBytes);
    if (run.intake->IsAllocated()) return true;
    Report(Error,
           "NodeConnectionClient::CreateRecieveBuffer() - Error memory allocating failed, a null value was "
           "returned.  mRecvBufferSize: " +
               std::to_string(kIntakeBytes) + ", mStreamType: " + mStreamType);
    return false;
}

bool NodeConnectionClient::StartReceiveThread(const std::shared_ptr<Run>& run) {
    try {
        run->thread = std::thread(&NodeConnectionClient::ServerStreamThread, this, run);
        return true;
    } catch (const std::system_error&) {
        Report(
            Error,
            "NodeConnectionClient::InitServerStream() - Error, unable to create new thread, AfxBeginThread() "
            "returned a null.  mStreamType: " +
                mStreamType);
        return false;
    }
}

void NodeConnectionClient::ServerStreamThread(NodeConnectionClient* listener,
                                              const std::shared_ptr<Run>& run) {
    const ReceiveThreadScope scope(&run->stopRequested);
    RaiseCurrentThreadPriority();
    if (listener->AcceptClientSocket(*run)) listener->RecieveData(*run);
    std::lock_guard lock(run->lock);
    run->finished = true;
    run->ended.notify_all();
}

bool NodeConnectionClient::AcceptClientSocket(Run& run) {
    for (;;) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const int fd =
            ::accept4(run.listenSocket.Fd(), reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
        if (fd < 0 && errno == EINTR) continue;
        if (fd < 0) {
            const int code = LastSocketError();
            // A stop wakes accept with an error of its own making: nothing to report.
            if (!run.stopRequested) ReportSocketError(kAcceptClientSocketErrors, code);
            return false;
        }
        Socket accepted(fd);
        if (run.stopRequested) return false;
        const std::string from = DottedAddress(reinterpret_cast<const unsigned char*>(&peer.sin_addr.s_addr));
        if (!IsServerAddress(from, run.serverAddress)) {
            // Records from anyone but the server would be delivered as the server's: refuse, and
            // keep waiting for the server.
            Report(Error, "NodeConnectionClient::AcceptClientSocket() - Error, refused a connection from " +
                              from + ", only the server may connect.  mStreamType: " + mStreamType);
            continue;
        }
        std::lock_guard lock(run.lock);
        if (run.stopRequested) return false;  // accepted just as the stop shut the sockets down
        run.clientSocket = std::move(accepted);
        return true;
    }
}

// Reads whatever has arrived (up to the intake's free space) and delivers every whole record in
// it; a partial record waits for the next read. Ends when the connection does or the listener is
// told to stop: from then on the listener is not touched again, since a callback may have
// destroyed it.
void NodeConnectionClient::RecieveData(Run& run) {
    RecordIntake& intake = *run.intake;
    for (;;) {
        const std::span<const iovec> space = intake.FreeSpace();
        msghdr message{};
        message.msg_iov = const_cast<iovec*>(space.data());  // recvmsg only writes where they point
        message.msg_iovlen = space.size();
        const ssize_t got = ::recvmsg(run.clientSocket.Fd(), &message, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            const int code = got < 0 ? LastSocketError() : 0;
            if (run.stopRequested) return;
            // A record cut off by the end of the connection is dropped unseen.
            if (got == 0) {
                Report(Notice,
                       "NodeConnectionClient::RecieveData() - Attempt to recieve data has failed, socket has "
                       "been closed gracefully.  mStreamType: " +
                           mStreamType);
            } else {
                ProcessRecieveError(code);
            }
            return;
        }
        intake.Received(static_cast<std::size_t>(got));
        for (std::span<const unsigned char> record = intake.NextRecord(); !record.empty();
             record = intake.NextRecord()) {
            // Records already received when the owner stopped the stream are not delivered any more.
            if (run.stopRequested) break;
            ExecuteCallback(run, record);
        }
        // Not through the listener: a callback may have destroyed it.
        run.registration->EndDeliveries(run.registered);
        if (run.stopRequested) return;
    }
}

void NodeConnectionClient::ExecuteCallback(Run& run, std::span<const unsigned char> record) {
    const StreamRecordRow& row = RecordRowOf(mKind);
    // Event records carry no number: every one belongs to the first event object. Every other
    // record is long enough for its number; should one not be, -1 reports it as invalid.
    const std::optional<std::int64_t> number =
        row.decode == nullptr ? std::nullopt : std::optional(row.decode(record).value_or(-1));
    const StreamRegistration::Outcome outcome =
        run.registration->Deliver(run.registered, number, record.data());
    if (outcome == StreamRegistration::Outcome::OutOfRange) {
        Report(Error, std::string(row.invalidNumber) + std::to_string(*number));
    } else if (outcome == StreamRegistration::Outcome::Threw && !run.reportedThrow && !run.stopRequested) {
        // Once per connection: a callback that throws on every record would flood the log. A
        // stopped run may belong to a listener the callback destroyed: it reports nothing.
        run.reportedThrow = true;
        Report(Error, std::string(kCallbackThrew) + run.registered.thrown + ", mStreamType: " + mStreamType);
    }
}

void NodeConnectionClient::RequestStop(Run& run, bool report) {
    bool shutDown = true;
    int lastError = 0;
    {
        std::lock_guard lock(run.lock);
        run.stopRequested = true;
        // Shutting down (not closing) wakes a blocked accept or recv while the descriptors stay
        // valid, so the thread can never end up reading a reused descriptor number.
        for (const Socket* socket : {&run.listenSocket, &run.clientSocket}) {
            if (socket->IsValid() && ::shutdown(socket->Fd(), SHUT_RDWR) != 0 && errno != ENOTCONN) {
                shutDown = false;
                lastError = LastErrorOrErrno();
            }
        }
    }
    // A thread waiting for its turn to deliver, or for the client, now sees the stop.
    mRegistration->WakeWaitingDeliveries();
    if (mStopObserver) mStopObserver();
    if (!report) return;
    if (shutDown) {
        Report(Notice,
               "NodeConnectionClient::CloseServerStream() - mDmaProcessor thread has been terminated "
               "successfully.");
    } else {
        Report(Notice,
               "NodeConnectionClient::CloseServerStream() - Error, mDmaProcessor thread was unable to "
               "terminate. "
               "lastError: " +
                   std::to_string(lastError));
    }
}

void NodeConnectionClient::CloseServerStream() {
    mBoundPort = 0;
    if (const std::shared_ptr<Run> run = std::exchange(mRun, nullptr)) {
        if (run->thread.joinable()) {
            RequestStop(*run, true);
            if (run->thread.get_id() != std::this_thread::get_id()) {
                std::unique_lock lock(run->lock);
                run->ended.wait_for(lock, kThreadEndBound, [&] { return run->finished; });
            }
            // A time-out is not a failure: the thread has been told to stop and is only finishing
            // a record callback. It keeps its sockets until it has ended.
            Report(Notice,
                   "NodeConnectionClient::CloseServerStream() - WaitForSingleObject for mDmaProcessor thread "
                   "completed successfully.");
            mStoppedRuns.push_back(run);
        } else {
            CloseSockets(*run, true);  // a start that failed before its thread: no thread lines
        }
    }
    ReapEndedRuns();
}

// Joins every stopped thread that has ended (which takes no waiting) and closes its sockets.
void NodeConnectionClient::ReapEndedRuns() {
    std::erase_if(mStoppedRuns, [this](const std::shared_ptr<Run>& run) {
        {
            std::lock_guard lock(run->lock);
            if (!run->finished) return false;
        }
        run->thread.join();
        CloseSockets(*run, true);
        return true;
    });
}

void NodeConnectionClient::CloseSockets(Run& run, bool report) {
    for (Socket* socket : {&run.listenSocket, &run.clientSocket}) {
        // A socket never created or never accepted is simply skipped.
        if (socket->IsValid() && socket->Close() != 0 && report) ProcessCloseError(LastSocketError());
    }
}

bool NodeConnectionClient::AddStreamObject(const std::string& objectName) {
    Report(Notice,
           "NodeConnectionClient::AddStreamObject() - Notice, Attempting to add object to our stream list, "
           "objectName: " +
               objectName + ", mStreamType " + mStreamType + ".");
    const auto found = std::find(mStreamObjects.begin(), mStreamObjects.end(), objectName);
    if (found != mStreamObjects.end()) {
        int& count = mStreamObjectCounts[static_cast<std::size_t>(found - mStreamObjects.begin())];
        ++count;
        Report(Notice,
               "NodeConnectionClient::AddStreamObject() - Notice, Stream Object is already in our list, "
               "count has "
               "been incremented.  count: " +
                   std::to_string(count) + ", mStreamType " + mStreamType + ".");
        return true;
    }
    mStreamObjects.push_back(objectName);
    mStreamObjectCounts.push_back(1);
    Report(Notice,
           "NodeConnectionClient::AddStreamObject() - Notice, Attempt to add stream object to our list was "
           "successful.  objectName: " +
               objectName + ", mStreamType " + mStreamType + ".");
    return true;
}

bool NodeConnectionClient::RemoveStreamObject(const std::string& objectName) {
    Report(Notice,
           "NodeConnectionClient::RemoveStreamObject() - Notice, Attempting to remove object from our "
           "stream list, objectName: " +
               objectName + ", mStreamType " + mStreamType + ".");
    const auto found = std::find(mStreamObjects.begin(), mStreamObjects.end(), objectName);
    if (found == mStreamObjects.end()) {
        Report(Error,
               "NodeConnectionClient::RemoveStreamObject() - Error, Attempt to remove object from our list "
               "failed, "
               "the object was not found.  objectName: " +
                   objectName + ", mStreamType " + mStreamType + ".");
        return false;
    }
    const auto position = found - mStreamObjects.begin();
    int& count = mStreamObjectCounts[static_cast<std::size_t>(position)];
    --count;
    Report(Notice,
           "NodeConnectionClient::RemoveStreamObject() - Notice, Stream Object count has been decremented.  "
           "count: " +
               std::to_string(count) + ", mStreamType " + mStreamType + ".");
    if (count != 0) return false;
    mStreamObjects.erase(found);
    mStreamObjectCounts.erase(mStreamObjectCounts.begin() + position);
    Report(Notice,
           "NodeConnectionClient::RemoveStreamObject() - Notice, Stream Object count was zero, therefore "
           "object has "
           "been removed.  objectName: " +
               objectName + ", mStreamType " + mStreamType + ".");
    return true;
}

}  // namespace comlux
