#include "comlux/internal/CommandFrame.h"

#include <cstring>

namespace comlux {

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

}  // namespace comlux
