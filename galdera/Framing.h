#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "galdera/GalderaServer.h"

namespace galdera {

/// Version number every well-formed message carries.
constexpr std::int32_t kFrameVersion = 1;
/// Validation code of every well-formed message (bytes A5 A5 A5 A5).
constexpr std::uint32_t kValidationCode = 0xA5A5A5A5u;
/// Size of the header: version, validation code, payload length, each 32-bit little-endian.
constexpr std::size_t kHeaderSize = 12;
/// Largest payload accepted from a client; anything longer is treated as a corrupt frame.
constexpr std::int32_t kMaxIncomingPayload = 16 * 1024 * 1024;
/// Length field sent for the HugeLength fault.
constexpr std::int32_t kHugeLength = 0x7FFFFFF0;

/// The three header fields of one message.
struct FrameHeader {
    std::int32_t version = kFrameVersion;
    std::uint32_t validation = kValidationCode;
    std::int32_t length = 0;
};

/// Reads the header fields from 12 bytes.
FrameHeader DecodeHeader(const unsigned char* bytes);
/// True for a header this server accepts from a client: version 1, the code, 0 < length <= 16 MiB.
bool IsAcceptableHeader(const FrameHeader& header);
/// Header and payload in one buffer, ready for a single write.
std::vector<unsigned char> EncodeFrame(const FrameHeader& header, const std::vector<unsigned char>& payload);
/// The bytes to send for `payload` under `fault`; empty when nothing is to be sent.
/// (OneBytePieces, SlowAnswer, NoAnswer and CloseInsteadOfAnswer change how or whether it is
/// sent, not its bytes: they give the normal frame here or, for the last two, nothing.)
std::vector<unsigned char> EncodeAnswer(const std::vector<unsigned char>& payload, Fault fault);
/// A text as a payload: its bytes and one terminating NUL.
std::vector<unsigned char> TextPayload(const std::string& text);
/// A payload read as text: up to its first NUL, or all of it when it holds none.
std::string PayloadText(const std::vector<unsigned char>& payload);

}  // namespace galdera
