#pragma once

#include <chrono>
#include <netinet/in.h>

namespace comlux {

/// Owns one POSIX socket descriptor and closes it on destruction. Move-only, so a
/// descriptor is never closed twice or leaked when an operation fails half-way.
class Socket {
public:
    Socket() = default;
    /// Takes ownership of `fd` (-1 for none).
    explicit Socket(int fd) : mFd(fd) {}
    ~Socket();
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;

    /// A new blocking IPv4 TCP socket; invalid (errno set) when the system refuses one.
    static Socket CreateTcp();

    /// The descriptor, -1 when none is held.
    int Fd() const { return mFd; }
    /// True while a descriptor is held.
    bool IsValid() const { return mFd >= 0; }
    /// Closes the descriptor: 0, or -1 with errno set. The descriptor is given up either way,
    /// since POSIX leaves it unusable after a failed close.
    int Close();
    /// Wakes any thread blocked on this socket (recv returns 0, send fails) without closing it.
    void ShutdownBoth();
    /// Connects to `address`, giving up after `limit`: 0, or the errno of the failure (ETIMEDOUT
    /// when the time ran out). The socket is blocking again afterwards.
    int ConnectWithin(const sockaddr_in& address, std::chrono::milliseconds limit);
    /// Waits until `events` (poll flags) are ready or `deadline` has passed: 1 ready, 0 time is up,
    /// -1 with errno set when the wait itself failed.
    int WaitUntil(short events, std::chrono::steady_clock::time_point deadline) const;

private:
    int mFd = -1;
};

}  // namespace comlux
