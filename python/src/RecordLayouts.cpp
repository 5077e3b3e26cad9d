#include "python/src/RecordLayouts.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace comlux_python {

namespace {

using comlux::InfoOf;
using comlux::StreamKind;

// A field as written in the tables below; offsets in the decoded item follow one another.
struct FieldRow {
    std::string_view name;
    std::string_view numpyType;
    FieldSource source;
    std::size_t count;
    std::size_t elementSize;
    std::size_t wireOffset;
};

constexpr std::size_t kSpikeSamplesOffset = 48;
constexpr std::size_t kCscSampleCount = 512;
constexpr std::size_t kEventTextSize = 128;

FieldRow ReceiveTime() {
    return {"receive_ms", "<f8", FieldSource::ReceiveTime, 1, 8, 0};
}

std::vector<FieldRow> SpikeRows(StreamKind kind) {
    const auto samples = (static_cast<std::size_t>(InfoOf(kind).recordSize) - kSpikeSamplesOffset) / 2;
    return {ReceiveTime(),
            {"timestamp", "<u8", FieldSource::Copy, 1, 8, 0},
            {"number", "<i4", FieldSource::Copy, 1, 4, 8},
            {"cell", "<i4", FieldSource::Copy, 1, 4, 12},
            {"features", "<i4", FieldSource::Copy, 8, 4, 16},
            {"samples", "<i2", FieldSource::Copy, samples, 2, kSpikeSamplesOffset}};
}

std::vector<FieldRow> CscRows() {
    return {ReceiveTime(),
            {"timestamp", "<u8", FieldSource::Copy, 1, 8, 0},
            {"number", "<i4", FieldSource::Copy, 1, 4, 8},
            {"frequency", "<u4", FieldSource::Copy, 1, 4, 12},
            {"valid", "<u4", FieldSource::Copy, 1, 4, 16},
            {"samples", "<i2", FieldSource::Copy, kCscSampleCount, 2, 20}};
}

std::vector<FieldRow> EventRows() {
    return {ReceiveTime(),
            {"timestamp", "<u8", FieldSource::Copy, 1, 8, 6},
            {"number", "<i2", FieldSource::Copy, 1, 2, 2},
            {"event_id", "<i2", FieldSource::Copy, 1, 2, 14},
            {"ttl", "<i2", FieldSource::Copy, 1, 2, 16},
            {"text", "S128", FieldSource::Text, kEventTextSize, 1, 56}};
}

std::vector<FieldRow> VideoRows() {
    return {ReceiveTime(),
            {"timestamp", "<u8", FieldSource::Copy, 1, 8, 6},
            {"number", "<u2", FieldSource::Copy, 1, 2, 2},
            {"x", "<i4", FieldSource::Copy, 1, 4, 1616},
            {"y", "<i4", FieldSource::Copy, 1, 4, 1620},
            {"angle", "<i4", FieldSource::Copy, 1, 4, 1624}};
}

std::vector<FieldRow> RowsOf(StreamKind kind) {
    switch (kind) {
        case StreamKind::SingleElectrode:
        case StreamKind::Stereotrode:
        case StreamKind::Tetrode: return SpikeRows(kind);
        case StreamKind::Csc: return CscRows();
        case StreamKind::Event: return EventRows();
        case StreamKind::VideoTracker: return VideoRows();
    }
    return {};
}

RecordLayout BuildLayout(StreamKind kind) {
    RecordLayout layout;
    for (const FieldRow& row : RowsOf(kind)) {
        layout.fields.push_back({row.name, row.numpyType, row.source, row.count, row.elementSize,
                                 row.wireOffset, layout.itemSize});
        layout.itemSize += row.count * row.elementSize;
    }
    return layout;
}

std::array<RecordLayout, comlux::kStreamKindCount> BuildLayouts() {
    std::array<RecordLayout, comlux::kStreamKindCount> layouts;
    for (const comlux::StreamKindInfo& info : comlux::kStreamKinds) {
        layouts[static_cast<std::size_t>(info.kind)] = BuildLayout(info.kind);
    }
    return layouts;
}

// The receive time as little-endian bytes, whatever the host's order.
void PutLittleEndianDouble(double value, unsigned char* out) {
    auto bits = std::bit_cast<std::uint64_t>(value);
    for (std::size_t i = 0; i < sizeof bits; ++i, bits >>= 8) out[i] = static_cast<unsigned char>(bits);
}

}  // namespace

const RecordLayout& LayoutOf(StreamKind kind) {
    static const std::array<RecordLayout, comlux::kStreamKindCount> layouts = BuildLayouts();
    return layouts[static_cast<std::size_t>(kind)];
}

void DecodeRecord(const RecordLayout& layout, const unsigned char* record, double receiveMs,
                  unsigned char* item) {
    for (const Field& field : layout.fields) {
        unsigned char* out = item + field.itemOffset;
        switch (field.source) {
            case FieldSource::ReceiveTime: PutLittleEndianDouble(receiveMs, out); break;
            // The wire's numbers are little-endian, as the field's NumPy type says.
            case FieldSource::Copy:
                std::memcpy(out, record + field.wireOffset, field.count * field.elementSize);
                break;
            case FieldSource::Text: {
                // Whatever follows the terminating NUL is not part of the text.
                const unsigned char* text = record + field.wireOffset;
                const auto* end = static_cast<const unsigned char*>(std::memchr(text, 0, field.count));
                const std::size_t length = end ? static_cast<std::size_t>(end - text) : field.count;
                std::memcpy(out, text, length);
                std::memset(out + length, 0, field.count - length);
                break;
            }
        }
    }
}

}  // namespace comlux_python
