#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace galdera {

/// Owns one TCP socket descriptor and closes it on destruction. Shutdown() may be called
/// from another thread while the object lives, to wake a thread blocked on it; the
/// descriptor itself is only closed by the owner (destruction, Close()).
class TcpSocket {
public:
    TcpSocket() = default;
    /// Takes ownership of `fd` (may be -1).
    explicit TcpSocket(int fd) : mFd(fd) {}
    ~TcpSocket();
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;
    TcpSocket(TcpSocket&& other) noexcept;
    TcpSocket& operator=(TcpSocket&& other) noexcept;

    /// The descriptor, -1 when none.
    int Fd() const { return mFd; }
    /// True when a descriptor is held.
    bool IsValid() const { return mFd >= 0; }
    /// Ends both directions so that blocked calls on the socket return at once.
    void Shutdown() const;
    /// Closes the descriptor now.
    void Close();
    /// The local port the socket is bound to, 0 when unknown.
    int LocalPort() const;
    /// Writes all bytes (without SIGPIPE), looping only over partial writes; false on failure.
    bool SendAll(const void* data, std::size_t size) const;

private:
    int mFd = -1;
};

/// A listening socket bound to `address`:`port` (port 0: any free port); invalid on failure.
TcpSocket ListenOn(const std::string& address, int port, int backlog);
/// A connected socket to `address`:`port`, giving up after `timeout`; invalid on failure.
TcpSocket ConnectTo(const std::string& address, int port, std::chrono::milliseconds timeout);
/// A port that is free on every local interface right now (0 if none could be found).
int FindFreePort();
/// Sends small writes at once instead of waiting to coalesce them.
void SetNoDelay(int fd);
/// True if `address` is a dotted IPv4 address in 127.0.0.0/8.
bool IsLoopbackAddress(const std::string& address);

/// Outcome of waiting for or reading from a socket while a stop signal is watched.
enum class IoResult { Ok, Closed, Failed, Stopped, TimedOut };
/// Waits until `fd` is readable, `stopFd` is readable, or `timeoutMs` passes (-1: no limit).
IoResult WaitReadable(int fd, int stopFd, int timeoutMs);
/// Reads exactly `size` bytes; Closed when the peer closed before all of them arrived.
IoResult ReceiveExact(int fd, int stopFd, void* buffer, std::size_t size);
/// As ReceiveExact, TimedOut when not all of them arrived by `deadline`.
IoResult ReceiveExact(int fd, int stopFd, void* buffer, std::size_t size,
                      std::chrono::steady_clock::time_point deadline);

}  // namespace galdera
