#include "tests/support/FixedPorts.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {

// True when binding 127.0.0.1:port fails because another socket holds it.
bool InUse(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return false;
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool busy =
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 && errno == EADDRINUSE;
    ::close(fd);
    return busy;
}

}  // namespace

std::optional<std::string> FixedPortsBusy() {
    for (const int port : {26200, 26100}) {
        if (InUse(port)) return "port " + std::to_string(port) + " is in use by another program";
    }
    return std::nullopt;
}

}  // namespace testsupport
