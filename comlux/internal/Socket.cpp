#include "comlux/internal/Socket.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace comlux {

Socket::~Socket() {
    Close();
}

Socket::Socket(Socket&& other) noexcept : mFd(std::exchange(other.mFd, -1)) {}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        Close();
        mFd = std::exchange(other.mFd, -1);
    }
    return *this;
}

Socket Socket::CreateTcp() {
    return Socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
}

int Socket::Close() {
    if (mFd < 0) return 0;
    const int fd = std::exchange(mFd, -1);
    return ::close(fd);
}

void Socket::ShutdownBoth() {
    if (mFd >= 0) ::shutdown(mFd, SHUT_RDWR);
}

int Socket::ConnectWithin(const sockaddr_in& address, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    const int flags = ::fcntl(mFd, F_GETFL);
    if (flags < 0 || ::fcntl(mFd, F_SETFL, flags | O_NONBLOCK) != 0) return errno;
    int error = 0;
    if (::connect(mFd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = errno;
        if (error == EINPROGRESS || error == EINTR) {
            // The attempt goes on in the background; its outcome shows when the socket is writable.
            int ready = 0;
            do {
                ready = WaitUntil(POLLOUT, deadline);
            } while (ready < 0 && errno == EINTR);
            if (ready == 0) {
                error = ETIMEDOUT;
            } else if (ready < 0) {
                error = errno;
            } else {
                socklen_t size = sizeof error;
                if (::getsockopt(mFd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
            }
        }
    }
    ::fcntl(mFd, F_SETFL, flags);
    return error;
}

int Socket::WaitUntil(short events, std::chrono::steady_clock::time_point deadline) const {
    using namespace std::chrono;
    const auto left = duration_cast<milliseconds>(deadline - steady_clock::now() + microseconds(999));
    const int timeout = static_cast<int>(std::clamp<milliseconds::rep>(left.count(), 0, 1 << 30));
    pollfd watch{mFd, events, 0};
    const int ready = ::poll(&watch, 1, timeout);
    return ready > 0 ? 1 : ready;
}

}  // namespace comlux
