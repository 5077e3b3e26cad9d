#include "tests/support/ScriptedPeer.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {

constexpr int kStepTimeoutMs = 5000;

void PutField(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

bool WaitReadable(int fd) {
    pollfd watch{fd, POLLIN, 0};
    return ::poll(&watch, 1, kStepTimeoutMs) > 0;
}

int BoundLoopbackSocket(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

std::string Frame(std::string_view payload, std::int32_t version, std::uint32_t validation,
                  std::optional<std::int32_t> length) {
    std::string out;
    PutField(out, static_cast<std::uint32_t>(version));
    PutField(out, validation);
    PutField(out, static_cast<std::uint32_t>(length.value_or(static_cast<std::int32_t>(payload.size()))));
    out += payload;
    return out;
}

std::string TextFrame(std::string_view text) {
    std::string payload(text);
    payload += '\0';
    return Frame(payload);
}

int UnusedLoopbackPort() {
    int port = 0;
    const int fd = BoundLoopbackSocket(port);
    if (fd >= 0) ::close(fd);
    return port;
}

ScriptedPeer::ScriptedPeer() {
    mListenFd = BoundLoopbackSocket(mPort);
    if (mListenFd >= 0) ::listen(mListenFd, 4);
    Accept();
}

ScriptedPeer::~ScriptedPeer() {
    if (mThread.joinable()) mThread.join();
    if (mConnectionFd >= 0) ::close(mConnectionFd);
    if (mListenFd >= 0) ::close(mListenFd);
}

ScriptedPeer& ScriptedPeer::Accept() {
    mSteps.push_back([this] {
        if (!WaitReadable(mListenFd)) return false;
        if (mConnectionFd >= 0) ::close(mConnectionFd);
        mConnectionFd = ::accept(mListenFd, nullptr, nullptr);
        return mConnectionFd >= 0;
    });
    return *this;
}

ScriptedPeer& ScriptedPeer::ReadFrame() {
    mSteps.push_back([this] {
        std::string command;
        return ReadOneFrame(command);
    });
    return *this;
}

ScriptedPeer& ScriptedPeer::Send(std::string bytes, std::size_t pieceSize) {
    mSteps.push_back([this, bytes = std::move(bytes), pieceSize] {
        const std::size_t piece = pieceSize == 0 ? bytes.size() : pieceSize;
        for (std::size_t at = 0; at < bytes.size(); at += piece) {
            const std::size_t size = std::min(piece, bytes.size() - at);
            if (::send(mConnectionFd, bytes.data() + at, size, MSG_NOSIGNAL) != static_cast<ssize_t>(size))
                return false;
            // Separate segments: the client must put the answer together from several reads.
            if (pieceSize != 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return true;
    });
    return *this;
}

ScriptedPeer& ScriptedPeer::Pause(std::chrono::milliseconds duration) {
    mSteps.push_back([duration] {
        std::this_thread::sleep_for(duration);
        return true;
    });
    return *this;
}

ScriptedPeer& ScriptedPeer::Answer(std::string text) {
    return AnswerWith([text = std::move(text)](const std::string&) { return text; });
}

ScriptedPeer& ScriptedPeer::AnswerWith(std::function<std::string(const std::string&)> answer) {
    mSteps.push_back([this, answer = std::move(answer)] {
        std::string command;
        if (!ReadOneFrame(command)) return false;
        const std::string frame = TextFrame(answer(command));
        return ::send(mConnectionFd, frame.data(), frame.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(frame.size());
    });
    return *this;
}

ScriptedPeer& ScriptedPeer::ExpectClose() {
    mSteps.push_back([this] {
        char sink[256];
        for (;;) {
            if (!WaitReadable(mConnectionFd)) return false;
            const ssize_t got = ::recv(mConnectionFd, sink, sizeof sink, 0);
            if (got <= 0) break;
        }
        std::lock_guard guard(mLock);
        mSawClose = true;
        return true;
    });
    return *this;
}

ScriptedPeer& ScriptedPeer::Close() {
    mSteps.push_back([this] {
        ::close(mConnectionFd);
        mConnectionFd = -1;
        return true;
    });
    return *this;
}

void ScriptedPeer::Start() {
    mThread = std::thread([this] { Run(); });
}

bool ScriptedPeer::Finish() {
    if (mThread.joinable()) mThread.join();
    return mResult;
}

void ScriptedPeer::Run() {
    if (mListenFd < 0) return;
    for (const Step& step : mSteps) {
        if (!step()) return;
    }
    mResult = true;
}

bool ScriptedPeer::ReadExact(char* buffer, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        if (!WaitReadable(mConnectionFd)) return false;
        const ssize_t n = ::recv(mConnectionFd, buffer + got, size - got, 0);
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

bool ScriptedPeer::ReadOneFrame(std::string& command) {
    char header[12];
    if (!ReadExact(header, sizeof header)) return false;
    std::uint32_t length = 0;
    for (int i = 3; i >= 0; --i) length = length << 8 | static_cast<unsigned char>(header[8 + i]);
    if (length > (1u << 20)) return false;
    std::string payload(length, '\0');
    if (!ReadExact(payload.data(), length)) return false;
    command = payload.substr(0, payload.find('\0'));
    std::lock_guard guard(mLock);
    mFrames.push_back(std::string(header, sizeof header) + payload);
    mCommands.push_back(command);
    return true;
}

std::vector<std::string> ScriptedPeer::Frames() const {
    std::lock_guard guard(mLock);
    return mFrames;
}

std::vector<std::string> ScriptedPeer::Commands() const {
    std::lock_guard guard(mLock);
    return mCommands;
}

bool ScriptedPeer::SawClose() const {
    std::lock_guard guard(mLock);
    return mSawClose;
}

}  // namespace testsupport
