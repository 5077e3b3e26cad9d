#include "comlux/internal/Socket.h"

#include <netinet/in.h>
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

}  // namespace comlux
