#include "tests/support/Loopback.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace testsupport {

namespace {

constexpr int kBacklog = 16;

sockaddr_in LoopbackAddress(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool Readable(int fd, std::chrono::milliseconds timeout) {
    pollfd watch{fd, POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&watch, 1, static_cast<int>(timeout.count()));
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

}  // namespace

LoopbackConnection::~LoopbackConnection() {
    Close();
}

LoopbackConnection::LoopbackConnection(LoopbackConnection&& other) noexcept
    : mFd(std::exchange(other.mFd, -1)) {}

LoopbackConnection& LoopbackConnection::operator=(LoopbackConnection&& other) noexcept {
    if (this != &other) {
        Close();
        mFd = std::exchange(other.mFd, -1);
    }
    return *this;
}

LoopbackConnection LoopbackConnection::Connect(int port) {
    LoopbackConnection connection(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!connection.IsOpen()) return connection;
    const sockaddr_in address = LoopbackAddress(port);
    if (::connect(connection.mFd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        connection.Close();
    return connection;
}

void LoopbackConnection::Close() {
    if (mFd >= 0) ::close(std::exchange(mFd, -1));
}

void LoopbackConnection::ShutdownSending() {
    if (mFd >= 0) ::shutdown(mFd, SHUT_WR);
}

void LoopbackConnection::SetNoDelay() {
    const int on = 1;
    ::setsockopt(mFd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

bool LoopbackConnection::SendAll(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    std::size_t sent = 0;
    while (sent < size) {
        const ssize_t n = ::send(mFd, bytes + sent, size - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

bool LoopbackConnection::WaitReadable(std::chrono::milliseconds timeout) const {
    return mFd >= 0 && Readable(mFd, timeout);
}

bool LoopbackConnection::ReadExact(void* buffer, std::size_t size, std::chrono::milliseconds timeout) {
    auto* bytes = static_cast<char*>(buffer);
    std::size_t got = 0;
    while (got < size) {
        if (!WaitReadable(timeout)) return false;
        const ssize_t n = ::recv(mFd, bytes + got, size - got, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

bool LoopbackConnection::DrainUntilClosed(std::chrono::milliseconds timeout) {
    char sink[4096];
    for (;;) {
        if (!WaitReadable(timeout)) return false;
        const ssize_t n = ::recv(mFd, sink, sizeof sink, 0);
        if (n < 0 && errno == EINTR) continue;
        // A reset counts as closed as well as an orderly end.
        if (n <= 0) return true;
    }
}

LoopbackListener::LoopbackListener(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        mError = errno;
        return;
    }
    // Lets a fixed port be taken again while an earlier connection on it is in TIME_WAIT.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address = LoopbackAddress(port);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, kBacklog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        mError = errno;
        ::close(fd);
        return;
    }
    mFd = fd;
    mPort = ntohs(address.sin_port);
}

LoopbackListener::~LoopbackListener() {
    if (mFd >= 0) ::close(mFd);
}

LoopbackConnection LoopbackListener::Accept(std::chrono::milliseconds timeout) {
    if (mFd < 0 || !Readable(mFd, timeout)) return LoopbackConnection();
    return LoopbackConnection(::accept4(mFd, nullptr, nullptr, SOCK_CLOEXEC));
}

int UnusedLoopbackPort() {
    return LoopbackListener().Port();
}

}  // namespace testsupport
