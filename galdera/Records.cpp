#include "galdera/Records.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string_view>
#include <type_traits>

namespace galdera {

namespace {

struct KindRow {
    std::string_view typeWord;
    StreamKind kind;
    std::size_t recordSize;
};

constexpr std::array<KindRow, 6> kKinds{{
    {"SEScAcqEnt", StreamKind::SingleElectrode, 112},
    {"STScAcqEnt", StreamKind::Stereotrode, 176},
    {"TTScAcqEnt", StreamKind::Tetrode, 304},
    {"CscAcqEnt", StreamKind::Csc, 1044},
    {"EventAcqEnt", StreamKind::Event, 184},
    {"VTAcqEnt", StreamKind::Video, 1828},
}};

bool IsSpike(StreamKind kind) {
    return kind == StreamKind::SingleElectrode || kind == StreamKind::Stereotrode ||
           kind == StreamKind::Tetrode;
}

template <typename T>
void Put(unsigned char* out, std::size_t offset, T value) {
    using Unsigned = std::make_unsigned_t<T>;
    const auto bits = static_cast<Unsigned>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i) out[offset + i] = static_cast<unsigned char>(bits >> (8 * i));
}

// A smooth wave with a little per-record variation, so plotted data looks alive.
std::int16_t Sample(std::uint32_t sequence, std::size_t i, double scale) {
    const double phase = static_cast<double>(i) * 0.2 + static_cast<double>(sequence % 64) * 0.1;
    return static_cast<std::int16_t>(std::lround(scale * std::sin(phase)));
}

// Spike: timestamp, channel number, cell number, eight features, 32 samples per sub-channel.
void FillSpike(std::size_t size, int number, std::uint64_t timestamp, std::uint32_t sequence,
               unsigned char* out) {
    Put<std::uint64_t>(out, 0, timestamp);
    Put<std::int32_t>(out, 8, number);
    Put<std::int32_t>(out, 12, static_cast<std::int32_t>(sequence % 4));
    for (std::size_t f = 0; f < 8; ++f)
        Put<std::int32_t>(out, 16 + 4 * f, static_cast<std::int32_t>(f * 100));
    for (std::size_t offset = 48, i = 0; offset + 2 <= size; offset += 2, ++i) {
        Put<std::int16_t>(out, offset, Sample(sequence, i % 32, 2000.0));
    }
}

// Continuously sampled channel: timestamp, channel, sampling frequency, valid count, 512 samples.
void FillCsc(int number, std::uint64_t timestamp, std::uint32_t sequence, unsigned char* out) {
    Put<std::uint64_t>(out, 0, timestamp);
    Put<std::int32_t>(out, 8, number);
    Put<std::uint32_t>(out, 12, 32000);
    Put<std::uint32_t>(out, 16, 512);
    for (std::size_t i = 0; i < 512; ++i) Put<std::int16_t>(out, 20 + 2 * i, Sample(sequence, i, 1000.0));
}

// Event: start marker, id, data size, timestamp, event id, TTL value, then a text.
void FillEvent(int number, std::uint64_t timestamp, std::uint32_t sequence, unsigned char* out) {
    Put<std::int16_t>(out, 0, 0x0800);
    Put<std::int16_t>(out, 2, static_cast<std::int16_t>(number));
    Put<std::int16_t>(out, 4, 2);
    Put<std::uint64_t>(out, 6, timestamp);
    Put<std::int16_t>(out, 14, 11);
    Put<std::int16_t>(out, 16, static_cast<std::int16_t>(sequence & 0xFF));
    const std::string text = "Simulated event " + std::to_string(sequence);
    // FillRecord zeroes the record first, so the last of the 128 text bytes stays NUL.
    // NOLINTNEXTLINE(bugprone-not-null-terminated-result)
    std::memcpy(out + 56, text.data(), std::min<std::size_t>(text.size(), 127));
}

// Video tracker: start marker, tracker id, data size, timestamp, points, position and angle.
void FillVideo(int number, std::uint64_t timestamp, std::uint32_t sequence, unsigned char* out) {
    Put<std::uint16_t>(out, 0, 0x0800);
    Put<std::uint16_t>(out, 2, static_cast<std::uint16_t>(number));
    Put<std::uint16_t>(out, 4, 2);
    Put<std::uint64_t>(out, 6, timestamp);
    const double angle = static_cast<double>(sequence % 360);
    const auto x =
        static_cast<std::int32_t>(std::lround(320 + 100 * std::cos(angle * std::numbers::pi / 180)));
    const auto y =
        static_cast<std::int32_t>(std::lround(240 + 100 * std::sin(angle * std::numbers::pi / 180)));
    Put<std::uint32_t>(out, 14, static_cast<std::uint32_t>(x) | static_cast<std::uint32_t>(y) << 16);
    Put<std::int32_t>(out, 1616, x);
    Put<std::int32_t>(out, 1620, y);
    Put<std::int32_t>(out, 1624, static_cast<std::int32_t>(angle));
}

}  // namespace

std::optional<StreamKind> StreamKindOf(const std::string& typeWord) {
    for (const KindRow& row : kKinds) {
        if (row.typeWord == typeWord) return row.kind;
    }
    return std::nullopt;
}

std::size_t RecordSize(StreamKind kind) {
    for (const KindRow& row : kKinds) {
        if (row.kind == kind) return row.recordSize;
    }
    return 0;
}

int RecordNumber(const std::vector<ServerObject>& objects, std::size_t index) {
    if (index >= objects.size()) return -1;
    const auto kind = StreamKindOf(objects[index].type);
    if (!kind) return -1;
    // Spike records of all three kinds number into one combined list of spike objects.
    const auto sameGroup = [&](const ServerObject& other) {
        const auto otherKind = StreamKindOf(other.type);
        return otherKind && (IsSpike(*kind) ? IsSpike(*otherKind) : *otherKind == *kind);
    };
    int number = 0;
    for (std::size_t i = 0; i < index; ++i) {
        if (sameGroup(objects[i])) ++number;
    }
    return number;
}

void FillRecord(StreamKind kind, int number, std::uint64_t timestampMicros, std::uint32_t sequence,
                unsigned char* out) {
    std::memset(out, 0, RecordSize(kind));
    switch (kind) {
        case StreamKind::SingleElectrode:
        case StreamKind::Stereotrode:
        case StreamKind::Tetrode: FillSpike(RecordSize(kind), number, timestampMicros, sequence, out); break;
        case StreamKind::Csc: FillCsc(number, timestampMicros, sequence, out); break;
        case StreamKind::Event: FillEvent(number, timestampMicros, sequence, out); break;
        case StreamKind::Video: FillVideo(number, timestampMicros, sequence, out); break;
    }
}

}  // namespace galdera
