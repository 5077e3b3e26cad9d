#include "comlux/internal/NetworkNodeClient.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <new>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <utility>

#include "comlux/HostNames.h"
#include "comlux/internal/CommandFrame.h"
#include "comlux/internal/SocketErrors.h"

namespace comlux {

namespace {

// How far one receive may overrun an answer's deadline, to spare setting the socket's limit anew.
constexpr std::chrono::milliseconds kReceiveLimitSlack{10};

std::string Format(const char* format, auto... args) {
    const int size = std::snprintf(nullptr, 0, format, args...);
    std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    std::snprintf(text.data(), text.size() + 1, format, args...);
    return text;
}

// A payload read as text ends at its first NUL byte, or at its end when it holds none.
std::string PayloadText(const unsigned char* payload, std::size_t length) {
    std::size_t end = 0;
    while (end < length && payload[end] != 0) ++end;
    return std::string(reinterpret_cast<const char*>(payload), end);
}

}  // namespace

NetworkNodeClient::NetworkNodeClient() {
    for (NodeConnectionClient& listener : mStreams) listener.SetLogFile(&mClientLog);
    SocketStartup();
}

NetworkNodeClient::~NetworkNodeClient() {
    ShutdownClient();
    mClientLog.CloseLogFile();
}

bool NetworkNodeClient::OpenLogFile(const std::string& fileName) {
    return mClientLog.OpenLogFile(fileName) == 0;
}

// POSIX sockets need no start-up; sends use MSG_NOSIGNAL so a closed peer never raises SIGPIPE.
int NetworkNodeClient::SocketStartup() {
    return 0;
}

bool NetworkNodeClient::InitializeClient(const std::string& serverName, int portNumber) {
    constexpr const char* kOp = "NetworkNodeClient::InitializeClient() - ";
    mClientLog.WriteEntry(Notice,
                          Format("%sAttempting to initialize Message Client connection.  serverName: %s, "
                                 "portNumber: %i",
                                 kOp, serverName.c_str(), portNumber));
    if (mInitialized) {
        mClientLog.WriteEntry(Warning, std::string(kOp) +
                                           "Attempting to initialize Message Client that has already "
                                           "been initialized, unable to re-initialize");
        return false;
    }
    mClientLog.WriteEntry(Notice, std::string(kOp) + "Attempting to create Client Socket");
    if (mInterrupted) {
        mClientLog.WriteEntry(Notice, std::string(kOp) + "Connection not attempted, it was closed locally");
        return false;
    }
    if (CreateSocket() != 0) {
        mClientLog.WriteEntry(Error, std::string(kOp) + "Failure: Unable to initialize client");
        return false;
    }
    mClientLog.WriteEntry(Notice, std::string(kOp) + "Client Socket created successfully");
    mClientLog.WriteEntry(Notice,
                          std::string(kOp) + "Attempting to request information about our connection.");
    unsigned char address[4] = {};
    if (GetServerInfo(serverName, address) != 0) {
        mClientLog.WriteEntry(Error, std::string(kOp) + "Failure: Unable to initialize message client");
        std::lock_guard guard(mSharedLock);
        mSocket.Close();
        return false;
    }
    mClientLog.WriteEntry(Notice, std::string(kOp) + "Request for information was successful.");
    mClientLog.WriteEntry(Notice, std::string(kOp) + "Attempting to establish a connection to our server.");
    if (ConnectToServer(address, portNumber) != 0) {
        mClientLog.WriteEntry(Error, std::string(kOp) + "Failure: Unable to initialize message client");
        std::lock_guard guard(mSharedLock);
        mSocket.Close();
        return false;
    }
    SetReceiveLimit(mAnswerTimeout);
    mClientLog.WriteEntry(Notice, std::string(kOp) + "Connection successfully established");
    SetServerTexts(serverName, DottedAddress(address));
    mInitialized = true;

    if (SendCommand("-GetApplicationName")) {
        std::string name;
        GetReply(name);
        const auto space = name.find(' ');
        if (space != std::string::npos) name.erase(0, space + 1);
        std::lock_guard guard(mSharedLock);
        mServerApplicationName = name;
    }
    mClientLog.WriteEntry(Notice, std::string(kOp) + "Message Client successfully initialized");
    return true;
}

int NetworkNodeClient::CreateSocket() {
    Socket socket = Socket::CreateTcp();
    if (!socket.IsValid()) {
        Report(ChannelReporter::CreateSocket, LastSocketError());
        return -1;
    }
    std::lock_guard guard(mSharedLock);
    mSocket = std::move(socket);
    mClosedLocally = false;
    return 0;
}

int NetworkNodeClient::GetServerInfo(const std::string& serverName, unsigned char address[4]) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(serverName.c_str(), nullptr, &hints, &found);
    if (rc != 0 || found == nullptr) {
        Report(ChannelReporter::GetServerInfo, WsaCodeFromResolver(rc, errno));
        return -1;
    }
    const auto* inet = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    std::memcpy(address, &inet->sin_addr.s_addr, 4);
    ::freeaddrinfo(found);
    return 0;
}

int NetworkNodeClient::ConnectToServer(const unsigned char address[4], int portNumber) {
    if (portNumber < 1 || portNumber > 0xFFFF) {
        // Cut to 16 bits it would name some other port, and commands would go to whatever listens there.
        Report(ChannelReporter::ConnectToServer, WSAEADDRNOTAVAIL);
        return -1;
    }
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<std::uint16_t>(portNumber));
    std::memcpy(&server.sin_addr.s_addr, address, 4);
    // A server whose accept queue is full drops the attempt silently: without a limit the
    // system's retries would hold the caller for minutes.
    const int error = mSocket.ConnectWithin(server, mConnectTimeout);
    if (error != 0) {
        Report(ChannelReporter::ConnectToServer, WsaCodeFromErrno(error));
        return -1;
    }
    return 0;
}

bool NetworkNodeClient::SendCommand(const std::string& command) {
    if (!mInitialized) return false;
    const std::vector<unsigned char> payload = CommandFrame::EncodeCommand(command);
    return SendMessage(payload.data(), static_cast<int>(payload.size()));
}

bool NetworkNodeClient::SendMessage(const unsigned char* payload, int length) {
    if (!mInitialized || mClosedLocally) return false;
    if (UnaskedDataWaiting()) {
        // Whatever it is, it would be read as the answer to this command, and every later answer
        // would be taken for the one before it.
        mClientLog.WriteEntry(Error,
                              "NetworkNodeClient::SendMessage() - Error, data arrived that no command asked "
                              "for, the connection is out of step and is shut down");
        ShutdownClient();
        return false;
    }
    const long long bufferLength = static_cast<long long>(CommandFrame::kHeaderSize) + length;
    const bool valid = length >= 0 && (length == 0 || payload != nullptr) && bufferLength <= INT32_MAX;
    std::vector<unsigned char> frame;
    try {
        if (valid) frame = CommandFrame::Encode(payload, length);
    } catch (const std::bad_alloc&) {
        frame.clear();
    }
    if (frame.empty()) {
        mClientLog.WriteEntry(Error,
                              Format("NetworkNodeClient::SendMessage() - Error allocating memory to passed "
                                     "message to server, pointer returned a NULL value.  bufferLength: %lld",
                                     bufferLength));
        return false;
    }
    const int error = SendFrame(frame);
    if (error == 0) {
        mAnswerDeadline = std::chrono::steady_clock::now() + mAnswerTimeout;
        return true;
    }
    if (mClosedLocally) {
        mClientLog.WriteEntry(
            Notice, "NetworkNodeClient::SendMessage() - Send ended, the connection was closed locally");
        return false;
    }
    ProcessSendError(error);
    mClientLog.WriteEntry(Error,
                          "NetworkNodeClient::SendMessage() - Unable to send data, call to send() failed, "
                          "we must have lost our socket.  message: " +
                              PayloadText(payload, static_cast<std::size_t>(length)));
    ShutdownClient();
    return false;
}

// Normally one send call takes the whole frame; a send that stalls (a server that stopped
// reading) gives up at the deadline: the rest of the frame could no longer follow in step.
int NetworkNodeClient::SendFrame(const std::vector<unsigned char>& frame) {
    const auto deadline = std::chrono::steady_clock::now() + mSendTimeout;
    std::size_t sent = 0;
    while (sent < frame.size()) {
        const ssize_t n =
            ::send(mSocket.Fd(), frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return LastSocketError();
        const int ready = mSocket.WaitUntil(POLLOUT, deadline);
        if (ready == 0) return WSAETIMEDOUT;
        if (ready < 0 && errno != EINTR) return LastSocketError();
    }
    return 0;
}

bool NetworkNodeClient::PeerEnded() const {
    if (!mInitialized || !mSocket.IsValid()) return false;
    // The end of the peer's stream shows without taking any byte an answer may need.
    pollfd watched{mSocket.Fd(), POLLRDHUP, 0};
    return ::poll(&watched, 1, 0) == 1 && (watched.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

// True when bytes wait on the command connection although no answer is due.
bool NetworkNodeClient::UnaskedDataWaiting() {
    unsigned char byte = 0;
    return ::recv(mSocket.Fd(), &byte, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
}

bool NetworkNodeClient::GetBuffer(unsigned char* buffer, int size) {
    int received = 0;
    return GetBuffer(buffer, size, size, received);
}

// Reads until at least `enough` of the `size` bytes are in; takes more only if they are already
// there, so a header is fetched in one call without ever reading into the next message.
bool NetworkNodeClient::GetBuffer(unsigned char* buffer, int size, int enough, int& received) {
    while (received < enough) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            mReadDeadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            // The answer may still come, but it would be taken for the next one: give the connection up.
            ProcessRecieveError(WSAETIMEDOUT);
            ShutdownClient();
            return false;
        }
        // A receive waits at most as long as the socket's limit: never much past the deadline.
        if (left + kReceiveLimitSlack < mReceiveLimit) SetReceiveLimit(left);
        const ssize_t got =
            ::recv(mSocket.Fd(), buffer + received, static_cast<std::size_t>(size - received), 0);
        if (got > 0) {
            received += static_cast<int>(got);
            continue;
        }
        if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (mClosedLocally) {
            // CloseConnection on another thread woke this read: the close, not the server, ended it.
            ReportReceiveClosedLocally();
            return false;
        }
        if (got == 0) {
            mClientLog.WriteEntry(Notice,
                                  "NetworkNodeClient::GetBuffer() - Attempting to recieve data has failed, "
                                  "socket has been closed gracefully");
            ShutdownClient();
            return false;
        }
        ProcessRecieveError(LastSocketError());
        return false;
    }
    return true;
}

// The socket's receive time-out bounds one blocking receive. It is lowered as the deadline of an
// answer nears, and raised again for the next answer, so commonly it is set once per connection.
void NetworkNodeClient::SetReceiveLimit(std::chrono::milliseconds limit) {
    mReceiveLimit = std::max(limit, std::chrono::milliseconds(1));  // 0 would mean no limit at all
    timeval value{};
    value.tv_sec = static_cast<time_t>(mReceiveLimit.count() / 1000);
    value.tv_usec = static_cast<suseconds_t>(mReceiveLimit.count() % 1000 * 1000);
    ::setsockopt(mSocket.Fd(), SOL_SOCKET, SO_RCVTIMEO, &value, sizeof value);
}

bool NetworkNodeClient::RecieveMessage(std::vector<unsigned char>& block, int& length) {
    if (!mInitialized) return false;
    if (mClosedLocally) {
        // Closed between the command and the wait for its answer: the same end as during the wait.
        if (mAnswerDeadline) ReportReceiveClosedLocally();
        mAnswerDeadline.reset();
        return false;
    }
    // The limit runs from the moment the command went out, however the answer trickles in.
    mReadDeadline = mAnswerDeadline.value_or(std::chrono::steady_clock::now() + mAnswerTimeout);
    mAnswerDeadline.reset();
    if (mReceiveLimit + kReceiveLimitSlack < mAnswerTimeout || mReceiveLimit > mAnswerTimeout)
        SetReceiveLimit(mAnswerTimeout);
    unsigned char header[CommandFrame::kHeaderSize];
    int received = 0;
    if (!GetBuffer(header, sizeof header, 8, received)) return false;
    const CommandFrame::Fault startFault = CommandFrame::CheckAnswerStart(header);
    if (startFault != CommandFrame::Fault::None) {
        ShowMessage(CommandFrame::StartFaultMessage(
            startFault, static_cast<std::int32_t>(CommandFrame::ReadField(header))));
        return ResetAfterCorruptAnswer();
    }
    if (!GetBuffer(header, sizeof header, sizeof header, received)) return false;
    const auto size = static_cast<std::int32_t>(CommandFrame::ReadField(header + 8));
    if (CommandFrame::CheckAnswerLength(size) != CommandFrame::Fault::None) {
        mClientLog.WriteEntry(
            Error, Format("NetworkNodeClient::RecieveMessage() - Invalid message size for recieving "
                          "message, messageSize: %i",
                          size));
        return ResetAfterCorruptAnswer();
    }
    try {
        block.assign(static_cast<std::size_t>(size), 0);
    } catch (const std::bad_alloc&) {
        block.clear();
        mClientLog.WriteEntry(Error,
                              "NetworkNodeClient::RecieveMessage() - Error allocating memory for recieving a "
                              "message, point returned a NULL");
        return ResetAfterCorruptAnswer();
    }
    if (!GetBuffer(block.data(), size)) return false;
    length = size;
    return true;
}

void NetworkNodeClient::ReportReceiveClosedLocally() {
    mClientLog.WriteEntry(
        Notice, "NetworkNodeClient::GetBuffer() - Receive ended, the connection was closed locally");
}

// The rest of a rejected answer cannot be told from what follows it: anything read next would be
// taken for an answer. The channel is given up, as after an answer that never came.
bool NetworkNodeClient::ResetAfterCorruptAnswer() {
    ShutdownClient();
    return false;
}

bool NetworkNodeClient::GetReply(std::string& reply) {
    std::vector<unsigned char> block;
    int length = 0;
    if (!RecieveMessage(block, length)) {
        reply = "-1";
        return false;
    }
    reply = PayloadText(block.data(), block.size());
    return true;
}

bool NetworkNodeClient::ShutdownClient() {
    constexpr const char* kOp = "NetworkNodeClient::ShutdownClient() - ";
    mClientLog.WriteEntry(Notice, std::string(kOp) + "Attempting to Shutdown Message Client");
    if (!mInitialized) {
        mClientLog.WriteEntry(Warning, std::string(kOp) +
                                           "Unable to Close Message Client, Client has not yet been "
                                           "initialized");
        return false;
    }
    if (mStreamsInitialized) {
        // Cleared first: a send failing while the streams are closed shuts the channel down from
        // inside this walk, and that nested shutdown must not walk the streams again.
        mStreamsInitialized = false;
        ShutdownStreams();
        if (!mInitialized) return true;
    } else {
        // A set-up that stopped half-way leaves listeners started: they would keep their ports
        // and threads, and feed callbacks after the caller closed.
        for (NodeConnectionClient& listener : mStreams) listener.CloseServerStream();
    }
    mClientLog.WriteEntry(Notice, std::string(kOp) + "Attempting to Close Message Client Socket");
    int closed = 0;
    int closeError = 0;
    {
        std::lock_guard guard(mSharedLock);
        closed = mSocket.Close();
        closeError = errno;
        if (closed == 0) mClosedLocally = false;
    }
    if (closed != 0) {
        ProcessCloseError(WsaCodeFromErrno(closeError));
        mClientLog.WriteEntry(Error, std::string(kOp) + "Unable to Close Message Client Socket");
        return false;
    }
    mClientLog.WriteEntry(Notice, std::string(kOp) + "Attempt to Close Message Client Socket was successful");
    SetServerTexts(kNotConnected, kNotConnected);
    mInitialized = false;
    return true;
}

void NetworkNodeClient::ProcessSendError(int errorCode) {
    Report(ChannelReporter::ProcessSendError, errorCode);
}

void NetworkNodeClient::ProcessRecieveError(int errorCode) {
    Report(ChannelReporter::ProcessRecieveError, errorCode);
}

void NetworkNodeClient::ProcessCloseError(int errorCode) {
    Report(ChannelReporter::ProcessCloseError, errorCode);
}

void NetworkNodeClient::Report(ChannelReporter reporter, int errorCode) {
    if (auto line = ChannelErrorReport(reporter, errorCode)) mClientLog.WriteEntry(Error, *line);
}

void NetworkNodeClient::ShowMessage(const std::string& text) {
    if (mHoldMessages) {
        mHeldTexts.push_back(text);
        return;
    }
    HeldMessages messages{{text}, {}};
    {
        std::lock_guard guard(mSharedLock);
        messages.handler = mMessageHandler;
    }
    Show(messages);
}

NetworkNodeClient::HeldMessages NetworkNodeClient::TakeHeldMessages() {
    HeldMessages messages;
    if (mHeldTexts.empty()) return messages;
    messages.texts = std::exchange(mHeldTexts, {});
    std::lock_guard guard(mSharedLock);
    messages.handler = mMessageHandler;
    return messages;
}

void NetworkNodeClient::Show(const HeldMessages& messages) {
    for (const std::string& text : messages.texts) {
        if (messages.handler) {
            messages.handler(text);
        } else {
            std::fprintf(stderr, "%s\n", text.c_str());
        }
    }
}

void NetworkNodeClient::SetServerTexts(const std::string& name, const std::string& address) {
    std::lock_guard guard(mSharedLock);
    mServerName = name;
    mServerIPAddress = address;
}

std::string NetworkNodeClient::GetServerName() const {
    std::lock_guard guard(mSharedLock);
    return mServerName;
}

std::string NetworkNodeClient::GetServerIPAddress() const {
    std::lock_guard guard(mSharedLock);
    return mServerIPAddress;
}

std::string NetworkNodeClient::GetServerApplicationName() const {
    std::lock_guard guard(mSharedLock);
    return mServerApplicationName;
}

void NetworkNodeClient::SetMessageHandler(MessageHandler handler) {
    std::lock_guard guard(mSharedLock);
    mMessageHandler = std::move(handler);
}

namespace {

bool SetTimeout(std::chrono::milliseconds& setting, std::chrono::milliseconds timeout) {
    if (timeout < kMinTimeout || timeout > kMaxTimeout) return false;
    setting = timeout;
    return true;
}

}  // namespace

bool NetworkNodeClient::SetConnectTimeout(std::chrono::milliseconds timeout) {
    return SetTimeout(mConnectTimeout, timeout);
}

bool NetworkNodeClient::SetSendTimeout(std::chrono::milliseconds timeout) {
    return SetTimeout(mSendTimeout, timeout);
}

bool NetworkNodeClient::SetAnswerTimeout(std::chrono::milliseconds timeout) {
    return SetTimeout(mAnswerTimeout, timeout);
}

void NetworkNodeClient::InterruptPendingAnswer() {
    mInterrupted = true;
    std::lock_guard guard(mSharedLock);
    if (!mSocket.IsValid()) return;
    mClosedLocally = true;
    mSocket.ShutdownBoth();
}

}  // namespace comlux
