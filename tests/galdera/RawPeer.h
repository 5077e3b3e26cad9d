#pragma once

// A plain socket peer for the stand-in server's tests: it frames commands by hand, so a
// fault in the server's framing cannot hide behind the same code on both ends.

#include <arpa/inet.h>
#include <chrono>
#include <cstdint>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace galdera_test {

using Bytes = std::vector<unsigned char>;

inline void AppendLe32(Bytes& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<unsigned char>(value >> shift));
}

inline std::uint32_t Le32(const Bytes& bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(bytes[offset]) | static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[offset + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

inline Bytes Frame(std::int32_t version, std::uint32_t code, std::int32_t length, const Bytes& payload) {
    Bytes frame;
    AppendLe32(frame, static_cast<std::uint32_t>(version));
    AppendLe32(frame, code);
    AppendLe32(frame, static_cast<std::uint32_t>(length));
    frame.insert(frame.end(), payload.begin(), payload.end());
    return frame;
}

inline Bytes CommandFrame(const std::string& text) {
    Bytes payload(text.begin(), text.end());
    payload.push_back(0);
    return Frame(1, 0xA5A5A5A5u, static_cast<std::int32_t>(payload.size()), payload);
}

/// One TCP connection on loopback, closed on destruction.
class Peer {
public:
    Peer() = default;
    explicit Peer(int fd) : mFd(fd) {}
    ~Peer() { Close(); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;
    Peer(Peer&& other) noexcept : mFd(std::exchange(other.mFd, -1)) {}

    bool Connect(int port) {
        Close();
        mFd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return connect(mFd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    void Close() {
        if (mFd >= 0) close(std::exchange(mFd, -1));
    }
    int Fd() const { return mFd; }

    bool Send(const Bytes& bytes) {
        return send(mFd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
    }

    /// Exactly `size` bytes, or nullopt when the peer closed or nothing came within `timeout`.
    std::optional<Bytes> Read(std::size_t size,
                              std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        Bytes bytes(size);
        std::size_t got = 0;
        while (got < size) {
            pollfd watch{mFd, POLLIN, 0};
            if (poll(&watch, 1, static_cast<int>(timeout.count())) != 1) return std::nullopt;
            const ssize_t n = recv(mFd, bytes.data() + got, size - got, 0);
            if (n <= 0) return std::nullopt;
            got += static_cast<std::size_t>(n);
        }
        return bytes;
    }

    /// True when the peer closes the connection within `timeout` (data before that is dropped).
    bool ClosedByPeer(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        unsigned char scratch[4096];
        for (;;) {
            pollfd watch{mFd, POLLIN, 0};
            if (poll(&watch, 1, static_cast<int>(timeout.count())) != 1) return false;
            const ssize_t n = recv(mFd, scratch, sizeof scratch, 0);
            if (n <= 0) return true;
        }
    }

    /// True when nothing arrives within `quiet`.
    bool Silent(std::chrono::milliseconds quiet) {
        pollfd watch{mFd, POLLIN, 0};
        return poll(&watch, 1, static_cast<int>(quiet.count())) == 0;
    }

    /// Reads one well-formed answer frame and returns its payload; nullopt if malformed or missing.
    std::optional<Bytes> ReadAnswer() {
        const auto header = Read(12);
        if (!header || Le32(*header, 0) != 1 || Le32(*header, 4) != 0xA5A5A5A5u) return std::nullopt;
        const auto length = static_cast<std::int32_t>(Le32(*header, 8));
        if (length <= 0 || length > (1 << 24)) return std::nullopt;
        return Read(static_cast<std::size_t>(length));
    }

    /// Sends a command and returns its answer as text (up to the NUL, which must be there).
    std::optional<std::string> Command(const std::string& text) {
        if (!Send(CommandFrame(text))) return std::nullopt;
        const auto payload = ReadAnswer();
        if (!payload || payload->empty() || payload->back() != 0) return std::nullopt;
        return std::string(payload->begin(), payload->end() - 1);
    }

private:
    int mFd = -1;
};

/// A listening socket on 127.0.0.1 at a free port, standing in for a client's stream listener.
class Listener {
public:
    Listener() {
        mFd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(mFd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(mFd, 2);
        socklen_t length = sizeof address;
        getsockname(mFd, reinterpret_cast<sockaddr*>(&address), &length);
        mPort = ntohs(address.sin_port);
    }
    ~Listener() { close(mFd); }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    int Port() const { return mPort; }
    /// The next connection, or an unconnected Peer when none came within `timeout`.
    Peer Accept(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        pollfd watch{mFd, POLLIN, 0};
        if (poll(&watch, 1, static_cast<int>(timeout.count())) != 1) return Peer();
        return Peer(accept(mFd, nullptr, nullptr));
    }

private:
    int mFd = -1;
    int mPort = 0;
};

}  // namespace galdera_test
