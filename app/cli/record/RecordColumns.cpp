#include "app/cli/record/RecordColumns.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <type_traits>

namespace sequora::record {

namespace {

using comlux::InfoOf;
using comlux::StreamKind;

// Where each column stands in kColumns.
enum Column : std::size_t {
    kReceiveMs,
    kObject,
    kKind,
    kTimestamp,
    kNumber,
    kCell,
    kFeatures,
    kFrequency,
    kValid,
    kEventId,
    kTtl,
    kText,
    kX,
    kY,
    kAngle,
    kSamples,
    kColumnCount
};
static_assert(kColumnCount == kColumns.size());

// Record layouts: byte offsets of the fields, as the server writes them.
namespace spike {
constexpr std::size_t kTimestamp = 0, kChannel = 8, kCell = 12, kFeatures = 16, kFeatureCount = 8,
                      kSamples = 48;
}
namespace csc {
constexpr std::size_t kTimestamp = 0, kChannel = 8, kFrequency = 12, kValid = 16, kSamples = 20,
                      kSampleCount = 512;
}
namespace event {
constexpr std::size_t kSource = 2, kTimestamp = 6, kEventId = 14, kTtl = 16, kText = 56, kTextSize = 128;
}
namespace video {
constexpr std::size_t kTracker = 2, kTimestamp = 6, kX = 1616, kY = 1620, kAngle = 1624;
}

// Every field lies inside its record.
static_assert(spike::kSamples <= static_cast<std::size_t>(InfoOf(StreamKind::SingleElectrode).recordSize));
static_assert(csc::kSamples + 2 * csc::kSampleCount ==
              static_cast<std::size_t>(InfoOf(StreamKind::Csc).recordSize));
static_assert(event::kText + event::kTextSize <=
              static_cast<std::size_t>(InfoOf(StreamKind::Event).recordSize));
static_assert(video::kAngle + 4 <= static_cast<std::size_t>(InfoOf(StreamKind::VideoTracker).recordSize));

// A little-endian number of type T at `offset`.
template <typename T>
T Read(const unsigned char* record, std::size_t offset) {
    using Unsigned = std::make_unsigned_t<T>;
    Unsigned bits = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        bits |= static_cast<Unsigned>(Unsigned{record[offset + i]} << (8 * i));
    return static_cast<T>(bits);
}

template <typename T>
std::string Number(T value) {
    char text[24];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

// `count` little-endian numbers of type T from `offset` on, separated by blanks.
template <typename T>
std::string List(const unsigned char* record, std::size_t offset, std::size_t count) {
    std::string text;
    text.reserve(count * 7);
    char number[24];
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) text += ' ';
        const auto end =
            std::to_chars(number, number + sizeof number, Read<T>(record, offset + i * sizeof(T))).ptr;
        text.append(number, end);
    }
    return text;
}

using Cells = std::array<std::string, kColumnCount>;

void SpikeCells(const unsigned char* record, std::size_t size, Cells& cells) {
    cells[kTimestamp] = Number(Read<std::uint64_t>(record, spike::kTimestamp));
    cells[kNumber] = Number(Read<std::int32_t>(record, spike::kChannel));
    cells[kCell] = Number(Read<std::int32_t>(record, spike::kCell));
    cells[kFeatures] = List<std::int32_t>(record, spike::kFeatures, spike::kFeatureCount);
    cells[kSamples] = List<std::int16_t>(record, spike::kSamples, (size - spike::kSamples) / 2);
}

void CscCells(const unsigned char* record, Cells& cells) {
    cells[kTimestamp] = Number(Read<std::uint64_t>(record, csc::kTimestamp));
    cells[kNumber] = Number(Read<std::int32_t>(record, csc::kChannel));
    cells[kFrequency] = Number(Read<std::uint32_t>(record, csc::kFrequency));
    const std::uint32_t valid = Read<std::uint32_t>(record, csc::kValid);
    cells[kValid] = Number(valid);
    // A count beyond the record's room would read past it: only what is there is shown.
    const std::size_t shown = valid < csc::kSampleCount ? valid : csc::kSampleCount;
    cells[kSamples] = List<std::int16_t>(record, csc::kSamples, shown);
}

void EventCells(const unsigned char* record, Cells& cells) {
    cells[kTimestamp] = Number(Read<std::uint64_t>(record, event::kTimestamp));
    cells[kNumber] = Number(Read<std::int16_t>(record, event::kSource));
    cells[kEventId] = Number(Read<std::int16_t>(record, event::kEventId));
    cells[kTtl] = Number(Read<std::int16_t>(record, event::kTtl));
    // The string ends at its NUL, or with the field when a server left none.
    const char* text = reinterpret_cast<const char*>(record + event::kText);
    std::size_t length = 0;
    while (length < event::kTextSize && text[length] != '\0') ++length;
    cells[kText] = EscapedCell(std::string_view(text, length));
}

void VideoCells(const unsigned char* record, Cells& cells) {
    cells[kTimestamp] = Number(Read<std::uint64_t>(record, video::kTimestamp));
    cells[kNumber] = Number(Read<std::uint16_t>(record, video::kTracker));
    cells[kX] = Number(Read<std::int32_t>(record, video::kX));
    cells[kY] = Number(Read<std::int32_t>(record, video::kY));
    cells[kAngle] = Number(Read<std::int32_t>(record, video::kAngle));
}

}  // namespace

std::string HeaderLine() {
    std::string line;
    for (std::string_view name : kColumns) {
        if (!line.empty()) line += '\t';
        line += name;
    }
    return line + '\n';
}

std::string RecordLine(double receiveMs, std::string_view object, StreamKind kind,
                       const unsigned char* record) {
    Cells cells;
    char time[32];
    std::snprintf(time, sizeof time, "%.3f", receiveMs);
    cells[kReceiveMs] = time;
    cells[kObject] = EscapedCell(object);
    cells[kKind] = InfoOf(kind).kindWord;
    switch (kind) {
        case StreamKind::SingleElectrode:
        case StreamKind::Stereotrode:
        case StreamKind::Tetrode:
            SpikeCells(record, static_cast<std::size_t>(InfoOf(kind).recordSize), cells);
            break;
        case StreamKind::Csc: CscCells(record, cells); break;
        case StreamKind::Event: EventCells(record, cells); break;
        case StreamKind::VideoTracker: VideoCells(record, cells); break;
    }
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i > 0) line += '\t';
        line += cells[i];
    }
    return line + '\n';
}

std::string EscapedCell(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string cell;
    cell.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 32 && byte <= 126 && byte != '\\') {
            cell += c;
        } else {
            cell += "\\x";
            cell += kHex[byte >> 4];
            cell += kHex[byte & 0xF];
        }
    }
    return cell;
}

}  // namespace sequora::record
