// Cuts arbitrary bytes into the records of one stream kind, arriving in pieces of arbitrary
// sizes, and reads each record's number, in memory: every whole record comes out once, in order
// and unchanged, a partial one never, and every number is read from the record's own field.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>

#include "comlux/StreamKinds.h"
#include "comlux/internal/RecordDecoders.h"
#include "comlux/internal/RecordIntake.h"

namespace {

// Small enough that partial records move to the front often; the largest record must fit.
constexpr std::size_t kCapacity = 4096;

void CheckNumber(const comlux::StreamRecordRow& row, std::span<const unsigned char> record) {
    if (row.decode == nullptr) return;
    const std::optional<std::int64_t> number = row.decode(record);
    if (!number) std::abort();
    if (row.decode == &comlux::DecodeTrackerId) {
        if (*number != (record[2] | record[3] << 8)) std::abort();
    } else {
        std::int32_t expected = 0;
        std::uint32_t bits = 0;
        for (int b = 3; b >= 0; --b) bits = bits << 8 | record[8 + static_cast<std::size_t>(b)];
        std::memcpy(&expected, &bits, sizeof expected);
        if (*number != expected) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const auto kind = static_cast<comlux::StreamKind>(data[0] % comlux::kStreamKindCount);
    const auto recordSize = static_cast<std::size_t>(comlux::InfoOf(kind).recordSize);
    const comlux::StreamRecordRow& row = comlux::RecordRowOf(kind);
    // Pieces of 1 to 4096 bytes, in a rhythm set by two bytes of the input.
    const std::size_t rhythm = (static_cast<std::size_t>(data[1]) << 8 | data[2]) + 1;
    const std::span<const unsigned char> stream(data + 3, size - 3);

    // A decoder reads nothing past what it is given: one byte short of its field, it reads nothing.
    if (comlux::DecodeChannelNumber(stream.first(std::min<std::size_t>(stream.size(), 11)))) std::abort();
    if (comlux::DecodeTrackerId(stream.first(std::min<std::size_t>(stream.size(), 3)))) std::abort();

    comlux::RecordIntake intake(recordSize, kCapacity);
    if (!intake.IsAllocated()) return 0;
    std::size_t fed = 0;
    std::size_t handedOut = 0;
    for (std::size_t piece = rhythm; fed < stream.size(); piece = piece * 7 % 4096 + 1) {
        std::size_t count = 0;
        for (const iovec& space : intake.FreeSpace()) {
            const std::size_t n = std::min({space.iov_len, piece - count, stream.size() - fed - count});
            std::memcpy(space.iov_base, stream.data() + fed + count, n);
            count += n;
        }
        intake.Received(count);
        fed += count;
        for (auto record = intake.NextRecord(); !record.empty(); record = intake.NextRecord()) {
            if (record.size() != recordSize) std::abort();
            if (reinterpret_cast<std::uintptr_t>(record.data()) % comlux::RecordIntake::kRecordAlignment != 0)
                std::abort();
            if (std::memcmp(record.data(), stream.data() + handedOut, recordSize) != 0) std::abort();
            handedOut += recordSize;
            CheckNumber(row, record);
        }
        if (intake.Held() >= recordSize) std::abort();
    }
    if (handedOut != stream.size() / recordSize * recordSize) std::abort();
    if (intake.Held() != stream.size() % recordSize) std::abort();
    return 0;
}
