#pragma once

// A plain socket peer for the stand-in server's tests: it frames commands by hand, so a
// fault in the server's framing cannot hide behind the same code on both ends.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/Loopback.h"

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

/// A stream listener as a client would open one: a listening socket on a free loopback port.
using Listener = testsupport::LoopbackListener;

/// One TCP connection on loopback speaking the command framing, closed on destruction.
class Peer {
public:
    Peer() = default;
    /// Takes over a connection, e.g. one accepted by a Listener.
    explicit Peer(testsupport::LoopbackConnection connection) : mConnection(std::move(connection)) {}

    bool Connect(int port) {
        mConnection = testsupport::LoopbackConnection::Connect(port);
        return mConnection.IsOpen();
    }
    void Close() { mConnection.Close(); }
    int Fd() const { return mConnection.Fd(); }

    bool Send(const Bytes& bytes) { return mConnection.SendAll(bytes.data(), bytes.size()); }

    /// Exactly `size` bytes, or nullopt when the peer closed or nothing came within `timeout`.
    std::optional<Bytes> Read(std::size_t size,
                              std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        Bytes bytes(size);
        if (!mConnection.ReadExact(bytes.data(), size, timeout)) return std::nullopt;
        return bytes;
    }

    /// True when the peer closes the connection within `timeout` (data before that is dropped).
    bool ClosedByPeer(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        return mConnection.DrainUntilClosed(timeout);
    }

    /// True when nothing arrives within `quiet`.
    bool Silent(std::chrono::milliseconds quiet) { return !mConnection.WaitReadable(quiet); }

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
    testsupport::LoopbackConnection mConnection;
};

}  // namespace galdera_test
