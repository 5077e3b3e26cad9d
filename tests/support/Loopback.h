#pragma once

// Plain TCP sockets on 127.0.0.1 for tests and benchmarks: a listener on a port the system
// picks, a connection to a port, and an accept that gives up after a time limit. Both hold
// their descriptor and close it on destruction; they move but never copy.

#include <chrono>
#include <cstddef>
#include <string_view>

namespace testsupport {

/// How long a blocking step waits by default; only reached when the code under test fails.
inline constexpr std::chrono::milliseconds kLoopbackPatience{10000};

/// One TCP connection on loopback (either end); closed on destruction.
class LoopbackConnection {
public:
    /// A connection that is not open.
    LoopbackConnection() = default;
    /// Takes over the descriptor `fd` (negative: not open).
    explicit LoopbackConnection(int fd) : mFd(fd) {}
    ~LoopbackConnection();
    LoopbackConnection(const LoopbackConnection&) = delete;
    LoopbackConnection& operator=(const LoopbackConnection&) = delete;
    LoopbackConnection(LoopbackConnection&& other) noexcept;
    LoopbackConnection& operator=(LoopbackConnection&& other) noexcept;

    /// Connects to 127.0.0.1:port; the result is not open when nothing accepts there.
    static LoopbackConnection Connect(int port);

    /// True while the connection holds a descriptor.
    bool IsOpen() const { return mFd >= 0; }
    /// The descriptor, for calls this class does not offer (-1 when not open).
    int Fd() const { return mFd; }
    /// Closes the connection now.
    void Close();
    /// Ends the sending direction; the peer reads end of stream, this end can still read.
    void ShutdownSending();
    /// Sends every write as a segment of its own (TCP_NODELAY).
    void SetNoDelay();

    /// Sends all the bytes (never raising SIGPIPE); false when the connection fails first.
    bool SendAll(const void* data, std::size_t size);
    /// Sends all the bytes of the text.
    bool SendAll(std::string_view bytes) { return SendAll(bytes.data(), bytes.size()); }
    /// True when something (data or the peer's close) can be read within `timeout`.
    bool WaitReadable(std::chrono::milliseconds timeout = kLoopbackPatience) const;
    /// Reads exactly `size` bytes; false when the peer closes or a wait for more exceeds `timeout`.
    bool ReadExact(void* buffer, std::size_t size, std::chrono::milliseconds timeout = kLoopbackPatience);
    /// Reads and drops data until the peer closes; false when a wait for more exceeds `timeout`.
    bool DrainUntilClosed(std::chrono::milliseconds timeout = kLoopbackPatience);

private:
    int mFd = -1;
};

/// A listening TCP socket on 127.0.0.1; closed on destruction.
class LoopbackListener {
public:
    /// Listens at `port`, or at a free port the system picks when `port` is 0.
    explicit LoopbackListener(int port = 0);
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    /// True when the socket listens.
    bool IsListening() const { return mFd >= 0; }
    /// The errno of the step that failed when not listening (EADDRINUSE: the port is taken), else 0.
    int Error() const { return mError; }
    /// The port listened on (0 when not listening).
    int Port() const { return mPort; }
    /// The descriptor, for calls this class does not offer (-1 when not listening).
    int Fd() const { return mFd; }
    /// The next connection, or one that is not open when none comes within `timeout`.
    LoopbackConnection Accept(std::chrono::milliseconds timeout = kLoopbackPatience);

private:
    int mFd = -1;
    int mPort = 0;
    int mError = 0;
};

/// A loopback port on which nothing listens (bound once, then released).
int UnusedLoopbackPort();

}  // namespace testsupport
