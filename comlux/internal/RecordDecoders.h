#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "comlux/StreamKinds.h"

namespace comlux {

/// The number a record carries to name its server object: a position in the stream's table of
/// object names. Pure functions over the record's bytes; each needs the record's first bytes up to
/// its number field and returns nothing when they are not all there.
using RecordNumberDecoder = std::optional<std::int64_t> (*)(std::span<const unsigned char> record);

/// Spike and channel records: signed 32 bits, little-endian, at offset 8.
std::optional<std::int64_t> DecodeChannelNumber(std::span<const unsigned char> record);
/// Video tracker records: unsigned 16 bits, little-endian, at offset 2.
std::optional<std::int64_t> DecodeTrackerId(std::span<const unsigned char> record);

/// The half of a stream kind's row that stays inside the library: how its records name their
/// object and how a number outside the table is reported (the public half is StreamKindInfo).
struct StreamRecordRow {
    /// The kind this row describes.
    StreamKind kind;
    /// Reads the record's number; null for event records, which carry none and all belong to
    /// the first event object.
    RecordNumberDecoder decode;
    /// The report of a number outside the table, up to the number itself; empty without a decoder.
    std::string_view invalidNumber;
};

/// One row per kind, in StreamKind order.
inline constexpr std::array<StreamRecordRow, kStreamKindCount> kStreamRecordRows{{
    {StreamKind::SingleElectrode, &DecodeChannelNumber,
     "NodeConnectionClientSE::ExecuteCallback() - Error, we have encountered an invalid spike channel number "
     "from our comlux buffer.  scNumber: "},
    {StreamKind::Stereotrode, &DecodeChannelNumber,
     "NodeConnectionClientST::ExecuteCallback() - Error, we have encountered an invalid spike channel number "
     "from our comlux buffer.  scNumber: "},
    {StreamKind::Tetrode, &DecodeChannelNumber,
     "NodeConnectionClientTT::ExecuteCallback() - Error, we have encountered an invalid spike channel number "
     "from our comlux buffer.  scNumber: "},
    {StreamKind::Csc, &DecodeChannelNumber,
     "NodeConnectionClientCSC::ExecuteCallback() - Error, we have encountered an invalid channel number from "
     "our comlux buffer.  chanNumber: "},
    {StreamKind::VideoTracker, &DecodeTrackerId,
     "NodeConnectionClientVT::ExecuteCallback() - Error, we have encountered an invalid video tracker ID "
     "from "
     "our comlux buffer.  id: "},
    {StreamKind::Event, nullptr, ""},
}};

/// The row of a kind.
constexpr const StreamRecordRow& RecordRowOf(StreamKind kind) {
    return kStreamRecordRows[static_cast<std::size_t>(kind)];
}

}  // namespace comlux
