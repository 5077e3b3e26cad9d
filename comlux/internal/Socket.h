#pragma once

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

private:
    int mFd = -1;
};

}  // namespace comlux
