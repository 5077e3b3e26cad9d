#include "galdera/Framing.h"

#include <algorithm>

namespace galdera {

namespace {

std::uint32_t ReadLe32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void AppendLe32(std::vector<unsigned char>& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<unsigned char>(value >> shift));
}

}  // namespace

FrameHeader DecodeHeader(const unsigned char* bytes) {
    return {static_cast<std::int32_t>(ReadLe32(bytes)), ReadLe32(bytes + 4),
            static_cast<std::int32_t>(ReadLe32(bytes + 8))};
}

bool IsAcceptableHeader(const FrameHeader& header) {
    return header.version == kFrameVersion && header.validation == kValidationCode && header.length > 0 &&
           header.length <= kMaxIncomingPayload;
}

std::vector<unsigned char> EncodeFrame(const FrameHeader& header, const std::vector<unsigned char>& payload) {
    std::vector<unsigned char> frame;
    frame.reserve(kHeaderSize + payload.size());
    AppendLe32(frame, static_cast<std::uint32_t>(header.version));
    AppendLe32(frame, header.validation);
    AppendLe32(frame, static_cast<std::uint32_t>(header.length));
    frame.insert(frame.end(), payload.begin(), payload.end());
    return frame;
}

std::vector<unsigned char> EncodeAnswer(const std::vector<unsigned char>& payload, Fault fault) {
    FrameHeader header;
    header.length = static_cast<std::int32_t>(payload.size());
    switch (fault) {
        case Fault::NoAnswer:
        case Fault::CloseInsteadOfAnswer: return {};
        case Fault::WrongVersion: header.version = 2; break;
        case Fault::ZeroVersion: header.version = 0; break;
        case Fault::BadValidation: header.validation = 0x5A5A5A5Au; break;
        case Fault::ZeroLength: return EncodeFrame({kFrameVersion, kValidationCode, 0}, {});
        case Fault::NegativeLength: return EncodeFrame({kFrameVersion, kValidationCode, -1}, {});
        case Fault::HugeLength: header.length = kHugeLength; break;
        case Fault::None:
        case Fault::OneBytePieces:
        case Fault::SlowAnswer: break;
    }
    return EncodeFrame(header, payload);
}

std::vector<unsigned char> TextPayload(const std::string& text) {
    std::vector<unsigned char> payload(text.begin(), text.end());
    payload.push_back(0);
    return payload;
}

std::string PayloadText(const std::vector<unsigned char>& payload) {
    const auto end = std::find(payload.begin(), payload.end(), static_cast<unsigned char>(0));
    return std::string(payload.begin(), end);
}

}  // namespace galdera
