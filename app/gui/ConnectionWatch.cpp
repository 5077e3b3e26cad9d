#include "app/gui/ConnectionWatch.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <dirent.h>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>

namespace sequora::gui {

namespace {

const char kOwnDescriptors[] = "/proc/self/fd";

// Calls `visit(fd, identity)` for every open socket of the process until it returns true.
void ForEachSocket(const std::function<bool(int fd, ino_t identity)>& visit) {
    const std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(kOwnDescriptors), ::closedir);
    if (!folder) return;
    const int own = ::dirfd(folder.get());
    while (const dirent* entry = ::readdir(folder.get())) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == own) continue;
        struct stat status {};
        if (::fstat(static_cast<int>(fd), &status) != 0 || !S_ISSOCK(status.st_mode)) continue;
        if (visit(static_cast<int>(fd), status.st_ino)) return;
    }
}

int PeerPort(int fd) {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return 0;
    if (peer.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(peer).sin_port);
    if (peer.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(peer).sin6_port);
    return 0;
}

}  // namespace

void ConnectionWatch::BeforeConnecting() {
    mSocket = 0;
    mBefore.clear();
    ForEachSocket([this](int, ino_t identity) {
        mBefore.insert(identity);
        return false;
    });
}

bool ConnectionWatch::Connected(int commandPort) {
    mSocket = 0;
    ForEachSocket([this, commandPort](int fd, ino_t identity) {
        if (mBefore.count(identity) != 0 || PeerPort(fd) != commandPort) return false;
        mSocket = identity;
        return true;
    });
    mBefore.clear();
    return mSocket != 0;
}

bool ConnectionWatch::PeerClosed() const {
    if (mSocket == 0) return false;
    bool found = false;
    bool closed = false;
    ForEachSocket([&](int fd, ino_t identity) {
        if (identity != mSocket) return false;
        found = true;
        // The end of the peer's stream shows without taking any byte the client may want.
        pollfd watched{fd, POLLRDHUP, 0};
        closed = ::poll(&watched, 1, 0) == 1 && (watched.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
        return true;
    });
    return !found || closed;
}

}  // namespace sequora::gui
