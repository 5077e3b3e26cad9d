#include "galdera/TcpSocket.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace galdera {

TcpSocket::~TcpSocket() {
    Close();
}

TcpSocket::TcpSocket(TcpSocket&& other) noexcept : mFd(std::exchange(other.mFd, -1)) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
    if (this != &other) {
        Close();
        mFd = std::exchange(other.mFd, -1);
    }
    return *this;
}

void TcpSocket::Shutdown() const {
    if (mFd >= 0) shutdown(mFd, SHUT_RDWR);
}

void TcpSocket::Close() {
    if (mFd >= 0) close(std::exchange(mFd, -1));
}

int TcpSocket::LocalPort() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (mFd < 0 || getsockname(mFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    return ntohs(address.sin_port);
}

bool TcpSocket::SendAll(const void* data, std::size_t size) const {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t sent = send(mFd, bytes, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        bytes += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

namespace {

bool ToAddress(const std::string& text, int port, sockaddr_in& address) {
    if (port < 0 || port > 65535) return false;
    address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return inet_pton(AF_INET, text.c_str(), &address.sin_addr) == 1;
}

TcpSocket NewTcpSocket() {
    return TcpSocket(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
}

}  // namespace

TcpSocket ListenOn(const std::string& addressText, int port, int backlog) {
    sockaddr_in address{};
    if (!ToAddress(addressText, port, address)) return {};
    TcpSocket listener = NewTcpSocket();
    if (!listener.IsValid()) return {};
    const int yes = 1;
    // Lets the fixed ports be bound again right after a previous run ended.
    setsockopt(listener.Fd(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (bind(listener.Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return {};
    if (listen(listener.Fd(), backlog) != 0) return {};
    return listener;
}

TcpSocket ConnectTo(const std::string& addressText, int port, std::chrono::milliseconds timeout) {
    sockaddr_in address{};
    if (!ToAddress(addressText, port, address)) return {};
    TcpSocket connection = NewTcpSocket();
    if (!connection.IsValid()) return {};
    // A non-blocking connect bounds the wait for an unreachable peer.
    const int flags = fcntl(connection.Fd(), F_GETFL);
    fcntl(connection.Fd(), F_SETFL, flags | O_NONBLOCK);
    if (connect(connection.Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINPROGRESS) return {};
        pollfd watch{connection.Fd(), POLLOUT, 0};
        if (poll(&watch, 1, static_cast<int>(timeout.count())) != 1) return {};
        int error = 0;
        socklen_t length = sizeof error;
        if (getsockopt(connection.Fd(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) return {};
    }
    fcntl(connection.Fd(), F_SETFL, flags);
    SetNoDelay(connection.Fd());
    return connection;
}

int FindFreePort() {
    TcpSocket probe = ListenOn("0.0.0.0", 0, 1);
    return probe.LocalPort();
}

void SetNoDelay(int fd) {
    const int yes = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
}

bool IsLoopbackAddress(const std::string& text) {
    in_addr address{};
    if (inet_pton(AF_INET, text.c_str(), &address) != 1) return false;
    return (ntohl(address.s_addr) >> 24) == 127;
}

IoResult WaitReadable(int fd, int stopFd, int timeoutMs) {
    pollfd watch[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    for (;;) {
        const int ready = poll(watch, 2, timeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return IoResult::Failed;
        if (ready == 0) return IoResult::TimedOut;
        if (watch[1].revents != 0) return IoResult::Stopped;
        return IoResult::Ok;
    }
}

IoResult ReceiveExact(int fd, int stopFd, void* buffer, std::size_t size) {
    return ReceiveExact(fd, stopFd, buffer, size, std::chrono::steady_clock::time_point::max());
}

IoResult ReceiveExact(int fd, int stopFd, void* buffer, std::size_t size,
                      std::chrono::steady_clock::time_point deadline) {
    using namespace std::chrono;
    auto* bytes = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        int timeoutMs = -1;
        if (deadline != steady_clock::time_point::max()) {
            const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
            timeoutMs = static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
        }
        const IoResult ready = WaitReadable(fd, stopFd, timeoutMs);
        if (ready != IoResult::Ok) return ready;
        const ssize_t got = recv(fd, bytes, size, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got == 0) return IoResult::Closed;
        if (got < 0) return IoResult::Failed;
        bytes += got;
        size -= static_cast<std::size_t>(got);
    }
    return IoResult::Ok;
}

}  // namespace galdera
