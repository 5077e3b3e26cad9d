#include "comlux/internal/RecordDecoders.h"

namespace comlux {

namespace {

constexpr std::size_t kChannelNumberOffset = 8;
constexpr std::size_t kTrackerIdOffset = 2;

}  // namespace

std::optional<std::int64_t> DecodeChannelNumber(std::span<const unsigned char> record) {
    if (record.size() < kChannelNumberOffset + 4) return std::nullopt;
    const unsigned char* bytes = record.data() + kChannelNumberOffset;
    const std::uint32_t value =
        static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
        static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    return static_cast<std::int32_t>(value);
}

std::optional<std::int64_t> DecodeTrackerId(std::span<const unsigned char> record) {
    if (record.size() < kTrackerIdOffset + 2) return std::nullopt;
    const unsigned char* bytes = record.data() + kTrackerIdOffset;
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

}  // namespace comlux
