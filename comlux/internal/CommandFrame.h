#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace comlux {

/// The framing of every command and answer on the command channel: a 12-byte header of
/// three little-endian 32-bit fields (version, validation code, payload length), then the payload.
struct CommandFrame {
    static constexpr std::int32_t kVersion = 1;
    static constexpr std::uint32_t kValidationCode = 0xA5A5A5A5u;
    static constexpr std::size_t kHeaderSize = 12;
    /// Largest answer payload accepted; a bigger length is treated as a corrupt header.
    static constexpr std::int32_t kMaxPayloadLength = 16 * 1024 * 1024;

    /// Header and payload in one buffer, ready for a single send.
    static std::vector<unsigned char> Encode(const unsigned char* payload, std::int32_t length);
    /// The payload of a command: its text followed by one NUL byte.
    static std::vector<unsigned char> EncodeCommand(std::string_view command);

    /// What is wrong with an answer's header.
    enum class Fault { None, InvalidVersion, UnsupportedVersion, BadValidationCode, BadLength };
    /// Checks the start of an answer's header: version (at `bytes`) and validation code (at 4).
    static Fault CheckAnswerStart(const unsigned char* bytes);
    /// Checks an answer's payload length: 1 to kMaxPayloadLength.
    static Fault CheckAnswerLength(std::int32_t length);
    /// The message that tells the user about a fault of an answer's start; `version` is the one received.
    static std::string StartFaultMessage(Fault fault, std::int32_t version);

    /// Reads a little-endian 32-bit field starting at `bytes`.
    static std::uint32_t ReadField(const unsigned char* bytes);
    /// Writes a little-endian 32-bit field starting at `bytes`.
    static void WriteField(unsigned char* bytes, std::uint32_t value);
};

}  // namespace comlux
