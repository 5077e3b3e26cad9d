// comlux-record's lines: each kind's fields from their offsets into their columns, and nothing
// read beyond a record, whatever its counts and texts say.
#include <algorithm>
#include <cstdint>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

#include "app/cli/record/RecordColumns.h"
#include "comlux/StreamKinds.h"

namespace {

using comlux::StreamKind;
using sequora::record::EscapedCell;
using sequora::record::HeaderLine;
using sequora::record::kColumns;
using sequora::record::RecordLine;

// A record of the kind's size, filled with a byte no field should show.
class Record {
public:
    explicit Record(StreamKind kind)
        : mKind(kind), mBytes(static_cast<std::size_t>(comlux::InfoOf(kind).recordSize), 0xEE) {}
    template <typename T>
    Record& Put(std::size_t offset, T value) {
        using Unsigned = std::make_unsigned_t<T>;
        auto bits = static_cast<Unsigned>(value);
        for (std::size_t i = 0; i < sizeof(T); ++i, bits = static_cast<Unsigned>(bits >> 8))
            mBytes.at(offset + i) = static_cast<unsigned char>(bits & 0xFF);
        return *this;
    }
    Record& PutText(std::size_t offset, const std::string& text) {
        for (std::size_t i = 0; i < text.size(); ++i)
            mBytes.at(offset + i) = static_cast<unsigned char>(text[i]);
        return *this;
    }
    // The line's cells by column name.
    std::map<std::string, std::string> Cells(const std::string& object = "obj",
                                             double receiveMs = 1.5) const {
        const std::string line = RecordLine(receiveMs, object, mKind, mBytes.data());
        EXPECT_EQ(line.back(), '\n');
        std::vector<std::string> cells(1);
        for (std::size_t i = 0; i + 1 < line.size(); ++i) {
            if (line[i] == '\t') {
                cells.emplace_back();
            } else {
                cells.back() += line[i];
            }
        }
        EXPECT_EQ(cells.size(), kColumns.size()) << line;
        std::map<std::string, std::string> byName;
        for (std::size_t i = 0; i < cells.size() && i < kColumns.size(); ++i)
            byName[std::string(kColumns[i])] = cells[i];
        return byName;
    }

private:
    StreamKind mKind;
    std::vector<unsigned char> mBytes;
};

// The columns a kind leaves empty.
void ExpectEmpty(const std::map<std::string, std::string>& cells, const std::vector<std::string>& names) {
    for (const std::string& name : names) EXPECT_EQ(cells.at(name), "") << name;
}

std::size_t Count(const std::string& list) {
    if (list.empty()) return 0;
    return static_cast<std::size_t>(std::count(list.begin(), list.end(), ' ')) + 1;
}

TEST(RecordColumns, HeaderNamesEveryColumnOnceInOrder) {
    EXPECT_EQ(
        HeaderLine(),
        "receive_ms\tobject\tkind\ttimestamp\tnumber\tcell\tfeatures\tfrequency\tvalid\tevent_id\tttl\ttext\t"
        "x\ty\tangle\tsamples\n");
}

TEST(RecordColumns, SpikeRecordsShowChannelCellFeaturesAndAllSamplesOfTheirSize) {
    const std::pair<StreamKind, std::size_t> kinds[] = {
        {StreamKind::SingleElectrode, 32}, {StreamKind::Stereotrode, 64}, {StreamKind::Tetrode, 128}};
    for (const auto& [kind, samples] : kinds) {
        Record record(kind);
        record.Put<std::uint64_t>(0, 0xFFFFFFFFFFFFFFFFull).Put<std::int32_t>(8, -7).Put<std::int32_t>(12, 3);
        for (std::size_t f = 0; f < 8; ++f) record.Put<std::int32_t>(16 + 4 * f, static_cast<int>(f) * -1000);
        for (std::size_t s = 0; s < samples; ++s)
            record.Put<std::int16_t>(48 + 2 * s, s == 0 ? -32768 : 32767);
        const auto cells = record.Cells("SE Ref", 12.3456);
        EXPECT_EQ(cells.at("receive_ms"), "12.346");
        EXPECT_EQ(cells.at("object"), "SE Ref");
        EXPECT_EQ(cells.at("kind"), comlux::InfoOf(kind).kindWord);
        EXPECT_EQ(cells.at("timestamp"), "18446744073709551615");
        EXPECT_EQ(cells.at("number"), "-7");
        EXPECT_EQ(cells.at("cell"), "3");
        EXPECT_EQ(cells.at("features"), "0 -1000 -2000 -3000 -4000 -5000 -6000 -7000");
        EXPECT_EQ(Count(cells.at("samples")), samples) << cells.at("kind");
        EXPECT_THAT(cells.at("samples"), ::testing::StartsWith("-32768 32767 "));
        EXPECT_THAT(cells.at("samples"), ::testing::EndsWith(" 32767"));
        ExpectEmpty(cells, {"frequency", "valid", "event_id", "ttl", "text", "x", "y", "angle"});
    }
}

TEST(RecordColumns, CscRecordsShowOnlyTheValidSamplesAndNeverMoreThanTheRecordHolds) {
    const std::pair<std::uint32_t, std::size_t> cases[] = {
        {3, 3}, {0, 0}, {512, 512}, {600, 512}, {0xFFFFFFFF, 512}};
    for (const auto& [valid, shown] : cases) {
        Record record(StreamKind::Csc);
        record.Put<std::uint64_t>(0, 42).Put<std::int32_t>(8, 2).Put<std::uint32_t>(12, 32000);
        record.Put<std::uint32_t>(16, valid);
        for (std::size_t s = 0; s < 512; ++s)
            record.Put<std::int16_t>(20 + 2 * s, static_cast<std::int16_t>(s));
        const auto cells = record.Cells();
        EXPECT_EQ(cells.at("kind"), "CSC");
        EXPECT_EQ(cells.at("timestamp"), "42");
        EXPECT_EQ(cells.at("number"), "2");
        EXPECT_EQ(cells.at("frequency"), "32000");
        EXPECT_EQ(cells.at("valid"), std::to_string(valid));
        EXPECT_EQ(Count(cells.at("samples")), shown) << valid;
        if (shown == 3) {
            EXPECT_EQ(cells.at("samples"), "0 1 2");
        } else if (shown == 512) {
            EXPECT_THAT(cells.at("samples"), ::testing::EndsWith(" 510 511"));
        }
        ExpectEmpty(cells, {"cell", "features", "event_id", "ttl", "text", "x", "y", "angle"});
    }
}

TEST(RecordColumns, EventRecordsShowIdsTtlAndTheTextUpToItsNul) {
    Record record(StreamKind::Event);
    record.Put<std::int16_t>(2, 4).Put<std::uint64_t>(6, 123456789).Put<std::int16_t>(14, 11);
    record.Put<std::int16_t>(16, -1).PutText(56, std::string("Tone on\0", 8));
    const auto cells = record.Cells("Events");
    EXPECT_EQ(cells.at("kind"), "Event");
    EXPECT_EQ(cells.at("timestamp"), "123456789");
    EXPECT_EQ(cells.at("number"), "4");
    EXPECT_EQ(cells.at("event_id"), "11");
    EXPECT_EQ(cells.at("ttl"), "-1");
    EXPECT_EQ(cells.at("text"), "Tone on");
    ExpectEmpty(cells, {"cell", "features", "frequency", "valid", "x", "y", "angle", "samples"});
}

TEST(RecordColumns, AnEventTextWithoutNulEndsWithItsField) {
    Record record(StreamKind::Event);
    record.PutText(56, std::string(128, 'a'));
    EXPECT_EQ(record.Cells().at("text"), std::string(128, 'a'));
}

TEST(RecordColumns, TextsThatCouldSplitALineAreEscaped) {
    Record record(StreamKind::Event);
    record.PutText(56, std::string("a\tb\r\nc\\d\xe4\x7f") + std::string(2, '\0'));
    EXPECT_EQ(record.Cells("Stim\tA").at("text"), "a\\x09b\\x0d\\x0ac\\x5cd\\xe4\\x7f");
    EXPECT_EQ(record.Cells("Stim\tA").at("object"), "Stim\\x09A");
    EXPECT_EQ(EscapedCell("plain text ~!"), "plain text ~!");
}

TEST(RecordColumns, VideoRecordsShowTheUnsignedTrackerNumberAndThePosition) {
    Record record(StreamKind::VideoTracker);
    record.Put<std::uint16_t>(2, 0xFFFF).Put<std::uint64_t>(6, 99).Put<std::int32_t>(1616, -5);
    record.Put<std::int32_t>(1620, 480).Put<std::int32_t>(1624, 359);
    const auto cells = record.Cells("VT1");
    EXPECT_EQ(cells.at("kind"), "Video");
    EXPECT_EQ(cells.at("timestamp"), "99");
    EXPECT_EQ(cells.at("number"), "65535");
    EXPECT_EQ(cells.at("x"), "-5");
    EXPECT_EQ(cells.at("y"), "480");
    EXPECT_EQ(cells.at("angle"), "359");
    ExpectEmpty(cells, {"cell", "features", "frequency", "valid", "event_id", "ttl", "text", "samples"});
}

}  // namespace
