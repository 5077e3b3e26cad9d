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
#include <sys/socket.h>
#include <sys/time.h>

#include "comlux/HostNames.h"
#include "comlux/internal/CommandFrame.h"
#include "comlux/internal/SocketErrors.h"

namespace comlux {

namespace {

constexpr const char* kNotConnected = "Not Connected";

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
    for (NodeConnectionClient* listener : Listeners()) listener->SetLogFile(&mClientLog);
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
    ApplyAnswerTimeout();
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
    if (::connect(mSocket.Fd(), reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0) {
        Report(ChannelReporter::ConnectToServer, LastSocketError());
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
    if (!mInitialized) return false;
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
    const ssize_t sent = ::send(mSocket.Fd(), frame.data(), frame.size(), MSG_NOSIGNAL);
    if (sent < 0) {
        ProcessSendError(LastSocketError());
        mClientLog.WriteEntry(
            Error,
            "NetworkNodeClient::SendMessage() - Unable to send data, call to send() failed, "
            "we must have lost our socket.  message: " +
                PayloadText(payload, static_cast<std::size_t>(length)));
        ShutdownClient();
        return false;
    }
    if (static_cast<std::size_t>(sent) != frame.size()) {
        mClientLog.WriteEntry(
            Error, Format("NetworkNodeClient::SendMessage() - The Number of bytes to send does not "
                          "match the number of bytes sent, bytes sent: %i, bytes to send: %i",
                          static_cast<int>(sent), static_cast<int>(frame.size())));
        return false;
    }
    return true;
}

bool NetworkNodeClient::GetBuffer(unsigned char* buffer, int size) {
    int received = 0;
    return GetBuffer(buffer, size, size, received);
}

// Reads until at least `enough` of the `size` bytes are in; takes more only if they are already
// there, so a header is fetched in one call without ever reading into the next message.
bool NetworkNodeClient::GetBuffer(unsigned char* buffer, int size, int enough, int& received) {
    while (received < enough) {
        const ssize_t got =
            ::recv(mSocket.Fd(), buffer + received, static_cast<std::size_t>(size - received), 0);
        if (got == 0) {
            mClientLog.WriteEntry(Notice,
                                  "NetworkNodeClient::GetBuffer() - Attempting to recieve data has failed, "
                                  "socket has been closed gracefully");
            ShutdownClient();
            return false;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            ProcessRecieveError(LastSocketError());
            return false;
        }
        if (got > 0) received += static_cast<int>(got);
        if (got < 0 || (received < enough && std::chrono::steady_clock::now() >= mAnswerDeadline)) {
            // The answer may still come, but it would be taken for the next one: give the connection up.
            ProcessRecieveError(WSAETIMEDOUT);
            ShutdownClient();
            return false;
        }
    }
    return true;
}

// The socket's receive time-out bounds each wait; the deadline bounds the whole answer.
void NetworkNodeClient::ApplyAnswerTimeout() {
    const auto micros = std::max<long long>(
        1000, std::chrono::duration_cast<std::chrono::microseconds>(mAnswerTimeout).count());
    timeval limit{};
    limit.tv_sec = static_cast<time_t>(micros / 1000000);
    limit.tv_usec = static_cast<suseconds_t>(micros % 1000000);
    ::setsockopt(mSocket.Fd(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
}

bool NetworkNodeClient::RecieveMessage(std::vector<unsigned char>& block, int& length) {
    if (!mInitialized) return false;
    mAnswerDeadline = std::chrono::steady_clock::now() + mAnswerTimeout;
    unsigned char header[CommandFrame::kHeaderSize];
    int received = 0;
    if (!GetBuffer(header, sizeof header, 8, received)) return false;
    const auto version = static_cast<std::int32_t>(CommandFrame::ReadField(header));
    if (version < 1) {
        ShowMessage("Error, invalid version number, data has been corrupted or improperly formatted");
        return false;
    }
    if (version > 1) {
        ShowMessage(
            "Error, this Version of Brontavix Network Communication is not Supported, please update to the "
            "latest version of the software.  Version #" +
            std::to_string(version));
        return false;
    }
    if (CommandFrame::ReadField(header + 4) != CommandFrame::kValidationCode) {
        ShowMessage("Error, invalid validation code, data has been corrupted or improperly formatted");
        return false;
    }
    if (!GetBuffer(header, sizeof header, sizeof header, received)) return false;
    const auto size = static_cast<std::int32_t>(CommandFrame::ReadField(header + 8));
    if (size <= 0 || size > CommandFrame::kMaxPayloadLength) {
        mClientLog.WriteEntry(
            Error, Format("NetworkNodeClient::RecieveMessage() - Invalid message size for recieving "
                          "message, messageSize: %i",
                          size));
        return false;
    }
    try {
        block.assign(static_cast<std::size_t>(size), 0);
    } catch (const std::bad_alloc&) {
        block.clear();
        mClientLog.WriteEntry(Error,
                              "NetworkNodeClient::RecieveMessage() - Error allocating memory for recieving a "
                              "message, point returned a NULL");
        return false;
    }
    if (!GetBuffer(block.data(), size)) return false;
    length = size;
    return true;
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
    }
    mClientLog.WriteEntry(Notice, std::string(kOp) + "Attempting to Close Message Client Socket");
    int closed = 0;
    int closeError = 0;
    {
        std::lock_guard guard(mSharedLock);
        closed = mSocket.Close();
        closeError = errno;
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
    MessageHandler handler;
    {
        std::lock_guard guard(mSharedLock);
        handler = mMessageHandler;
    }
    if (handler) {
        handler(text);
    } else {
        std::fprintf(stderr, "%s\n", text.c_str());
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

void NetworkNodeClient::SetAnswerTimeout(std::chrono::milliseconds timeout) {
    mAnswerTimeout = timeout;
    if (mInitialized) ApplyAnswerTimeout();
}

void NetworkNodeClient::InterruptPendingAnswer() {
    std::lock_guard guard(mSharedLock);
    mSocket.ShutdownBoth();
}

}  // namespace comlux
