#include "comlux/internal/NodeConnectionClient.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <new>
#include <sys/resource.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>
#include <utility>

#include "comlux/ClientLogFile.h"
#include "comlux/internal/ListenerErrorReports.h"
#include "comlux/internal/SocketErrors.h"

namespace comlux {

namespace {

// The owner never waits longer than this for a receive thread to end.
constexpr auto kThreadEndBound = std::chrono::milliseconds(500);
constexpr int kListenBacklog = 2;
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

}  // namespace

NodeConnectionClient::NodeConnectionClient(StreamKind kind)
    : mRecordSize(InfoOf(kind).recordSize), mStreamType(std::string(InfoOf(kind).kindWord)) {}

NodeConnectionClient::~NodeConnectionClient() {
    StopReceivingForDestruction();
}

void NodeConnectionClient::SetCallbackSE(RecordCallback, void*) {}
void NodeConnectionClient::SetCallbackST(RecordCallback, void*) {}
void NodeConnectionClient::SetCallbackTT(RecordCallback, void*) {}
void NodeConnectionClient::SetCallbackCSC(RecordCallback, void*) {}
void NodeConnectionClient::SetCallbackEV(RecordCallback, void*) {}
void NodeConnectionClient::SetCallbackVT(RecordCallback, void*) {}

void NodeConnectionClient::SetLogFile(ClientLogFile* log) {
    mLogFile = log;
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
    // A listener left started (a set-up that stopped half-way) starts again as from Idle.
    if (mDmaProcessor.joinable() || mListenSocket.IsValid() || mClientSocket.IsValid()) CloseServerStream();
    JoinThread(true);
    CloseSockets(true);
    {
        std::lock_guard lock(mThreadLock);
        mStopRequested = false;
        mThreadFinished = false;
    }
    if (!CreateSocket() || !BindSocket(portNumber) || !ListenToSocket() || !CreateRecieveBuffer())
        return false;
    return StartReceiveThread();
}

bool NodeConnectionClient::CreateSocket() {
    mListenSocket = Socket::CreateTcp();
    if (mListenSocket.IsValid()) return true;
    ReportSocketError(kCreateSocketErrors, LastSocketError());
    return false;
}

bool NodeConnectionClient::BindSocket(int portNumber) {
    if (portNumber < 0 || portNumber > 0xFFFF) {
        // Truncating to 16 bits would listen on a port the server was never told about.
        Report(Error, "NodeConnectionClient::BindSocket() - Error Binding Socket, invalid port number: " +
                          std::to_string(portNumber) + "  mStreamType: " + mStreamType);
        return false;
    }
    // A restart on the same port must not wait for the old connection's TIME_WAIT to pass.
    const int reuse = 1;
    (void)::setsockopt(mListenSocket.Fd(), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<std::uint16_t>(portNumber));
    if (::bind(mListenSocket.Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return true;
    ReportSocketError(kBindSocketErrors, LastSocketError());
    return false;
}

bool NodeConnectionClient::ListenToSocket() {
    if (::listen(mListenSocket.Fd(), kListenBacklog) != 0) {
        ReportSocketError(kListenToSocketErrors, LastSocketError());
        return false;
    }
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    if (::getsockname(mListenSocket.Fd(), reinterpret_cast<sockaddr*>(&bound), &length) == 0)
        mBoundPort = ntohs(bound.sin_port);
    return true;
}

bool NodeConnectionClient::CreateRecieveBuffer() {
    mRecvBuffer.reset();
    mRecvBufferSize = mRecordSize;
    mRecvBuffer.reset(new (std::nothrow) unsigned char[static_cast<std::size_t>(mRecvBufferSize)]);
    if (mRecvBuffer) return true;
    Report(Error,
           "NodeConnectionClient::CreateRecieveBuffer() - Error memory allocating failed, a null value was "
           "returned.  mRecvBufferSize: " +
               std::to_string(mRecvBufferSize) + ", mStreamType: " + mStreamType);
    return false;
}

bool NodeConnectionClient::StartReceiveThread() {
    try {
        mDmaProcessor = std::thread([this] { ServerStreamThread(this); });
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

int NodeConnectionClient::ServerStreamThread(NodeConnectionClient* listener) {
    RaiseCurrentThreadPriority();
    if (listener->AcceptClientSocket()) {
        while (listener->RecieveData()) {}
    }
    listener->MarkThreadFinished();
    return 0;
}

bool NodeConnectionClient::AcceptClientSocket() {
    int fd = -1;
    do {
        fd = ::accept4(mListenSocket.Fd(), nullptr, nullptr, SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int code = LastSocketError();
        // A stop wakes accept with an error of its own making: nothing to report.
        if (!mStopRequested) ReportSocketError(kAcceptClientSocketErrors, code);
        return false;
    }
    Socket accepted(fd);
    std::lock_guard lock(mThreadLock);
    if (mStopRequested) return false;  // accepted just as the stop shut the sockets down
    mClientSocket = std::move(accepted);
    return true;
}

bool NodeConnectionClient::RecieveData() {
    const int fd = mClientSocket.Fd();
    unsigned char* const buffer = mRecvBuffer.get();
    const int size = mRecvBufferSize;
    std::memset(buffer, 0, static_cast<std::size_t>(size));
    int total = 0;
    while (total < size) {
        // Never ask for more than the rest of this record: the next one stays in the socket.
        const ssize_t got = ::recv(fd, buffer + total, static_cast<std::size_t>(size - total), 0);
        if (got > 0) {
            total += static_cast<int>(got);
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        const int code = got < 0 ? LastSocketError() : 0;
        if (mStopRequested) return false;
        if (got == 0) {
            Report(
                Notice,
                "NodeConnectionClient::RecieveData() - Attempt to recieve data has failed, socket has been "
                "closed gracefully.  mStreamType: " +
                    mStreamType);
        } else {
            ProcessRecieveError(code);
        }
        return false;
    }
    // Records already buffered when the owner stopped the stream are not delivered any more.
    if (mStopRequested) return false;
    ExecuteCallback();
    return true;
}

void NodeConnectionClient::MarkThreadFinished() {
    std::lock_guard lock(mThreadLock);
    mThreadFinished = true;
    mThreadEnded.notify_all();
}

void NodeConnectionClient::RequestStop(bool report) {
    bool shutDown = true;
    int lastError = 0;
    {
        std::lock_guard lock(mThreadLock);
        mStopRequested = true;
        // Shutting down (not closing) wakes a blocked accept or recv while the descriptors stay
        // valid, so the thread can never end up reading a reused descriptor number.
        for (const Socket* socket : {&mListenSocket, &mClientSocket}) {
            if (socket->IsValid() && ::shutdown(socket->Fd(), SHUT_RDWR) != 0 && errno != ENOTCONN) {
                shutDown = false;
                lastError = LastErrorOrErrno();
            }
        }
    }
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

bool NodeConnectionClient::WaitForThreadEnd() {
    std::unique_lock lock(mThreadLock);
    return mThreadEnded.wait_for(lock, kThreadEndBound, [this] { return mThreadFinished; });
}

bool NodeConnectionClient::JoinThread(bool evenIfBusy) {
    if (!mDmaProcessor.joinable()) return true;
    if (!evenIfBusy) {
        std::lock_guard lock(mThreadLock);
        if (!mThreadFinished) return false;
    }
    mDmaProcessor.join();
    mThreadLingering = false;
    return true;
}

void NodeConnectionClient::CloseServerStream() {
    if (mDmaProcessor.joinable() && !mThreadLingering) {
        RequestStop(true);
        WaitForThreadEnd();
        // A time-out is not a failure: the thread has been told to stop and is only finishing
        // a record callback.
        Report(Notice,
               "NodeConnectionClient::CloseServerStream() - WaitForSingleObject for mDmaProcessor thread "
               "completed successfully.");
        mThreadLingering = true;
    }
    mBoundPort = 0;
    // A thread still inside a callback keeps its sockets until it is joined (next start or
    // destruction), so that no descriptor it may still use is closed under it.
    if (!JoinThread(false)) return;
    CloseSockets(true);
}

void NodeConnectionClient::CloseSockets(bool report) {
    for (Socket* socket : {&mListenSocket, &mClientSocket}) {
        // A socket never created or never accepted is simply skipped.
        if (socket->IsValid() && socket->Close() != 0 && report) ProcessCloseError(LastSocketError());
    }
}

void NodeConnectionClient::StopReceivingForDestruction() {
    if (mDmaProcessor.joinable() && !mThreadLingering) RequestStop(false);
    JoinThread(true);
    CloseSockets(false);
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
