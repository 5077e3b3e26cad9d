#include "comlux/internal/CommandFrame.h"

#include <cstring>

namespace comlux {

namespace {

constexpr const char* kInvalidVersion =
    "Error, invalid version number, data has been corrupted or improperly formatted";
constexpr const char* kUnsupportedVersion =
    "Error, this Version of Brontavix Network Communication is not Supported, please update to the latest "
    "version of the software.  Version #";
constexpr const char* kBadValidationCode =
    "Error, invalid validation code, data has been corrupted or improperly formatted";

}  // namespace

std::vector<unsigned char> CommandFrame::Encode(const unsigned char* payload, std::int32_t length) {
    std::vector<unsigned char> frame(kHeaderSize + static_cast<std::size_t>(length));
    WriteField(frame.data(), static_cast<std::uint32_t>(kVersion));
    WriteField(frame.data() + 4, kValidationCode);
    WriteField(frame.data() + 8, static_cast<std::uint32_t>(length));
    if (length > 0) std::memcpy(frame.data() + kHeaderSize, payload, static_cast<std::size_t>(length));
    return frame;
}

std::vector<unsigned char> CommandFrame::EncodeCommand(std::string_view command) {
    std::vector<unsigned char> payload(command.begin(), command.end());
    payload.push_back(0);
    return payload;
}

std::uint32_t CommandFrame::ReadField(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void CommandFrame::WriteField(unsigned char* bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

CommandFrame::Fault CommandFrame::CheckAnswerStart(const unsigned char* bytes) {
    const auto version = static_cast<std::int32_t>(ReadField(bytes));
    if (version < kVersion) return Fault::InvalidVersion;
    if (version > kVersion) return Fault::UnsupportedVersion;
    if (ReadField(bytes + 4) != kValidationCode) return Fault::BadValidationCode;
    return Fault::None;
}

CommandFrame::Fault CommandFrame::CheckAnswerLength(std::int32_t length) {
    return length <= 0 || length > kMaxPayloadLength ? Fault::BadLength : Fault::None;
}

std::string CommandFrame::StartFaultMessage(Fault fault, std::int32_t version) {
    switch (fault) {
        case Fault::InvalidVersion: return kInvalidVersion;
        case Fault::UnsupportedVersion: return kUnsupportedVersion + std::to_string(version);
        case Fault::BadValidationCode: return kBadValidationCode;
        case Fault::None:
        case Fault::BadLength: break;
    }
    return {};
}

}  // namespace comlux
