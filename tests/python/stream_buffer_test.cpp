// The Python module's record buffer: bounded, oldest dropped and counted, one object per segment.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

#include "comlux/StreamKinds.h"
#include "python/src/RecordLayouts.h"
#include "python/src/StreamBuffer.h"

namespace {

using comlux::StreamKind;
using comlux_python::StreamBuffer;

// A wire record of `kind` whose timestamp (where the kind keeps it) is `timestamp`.
std::vector<unsigned char> Record(StreamKind kind, std::uint64_t timestamp) {
    std::vector<unsigned char> record(static_cast<std::size_t>(comlux::InfoOf(kind).recordSize), 0);
    const std::size_t at = kind == StreamKind::Event || kind == StreamKind::VideoTracker ? 6 : 0;
    for (std::size_t i = 0; i < 8; ++i) record[at + i] = static_cast<unsigned char>(timestamp >> (8 * i));
    return record;
}

// The timestamps of every record the buffer hands out, segment by segment, with their objects.
std::vector<std::pair<std::string, std::vector<std::uint64_t>>> TakeAll(StreamBuffer& buffer) {
    std::vector<std::pair<std::string, std::vector<std::uint64_t>>> taken;
    while (auto segment = buffer.Take()) {
        const auto& layout = comlux_python::LayoutOf(segment->kind);
        std::vector<std::uint64_t> stamps;
        for (std::size_t i = 0; i < segment->count; ++i) {
            std::uint64_t stamp = 0;
            const unsigned char* item = segment->items.data() + (segment->first + i) * segment->itemSize;
            std::memcpy(&stamp, item + layout.fields[1].itemOffset, sizeof stamp);
            stamps.push_back(stamp);
        }
        taken.emplace_back(segment->object, stamps);
    }
    return taken;
}

TEST(StreamBuffer, KeepsTheNewestRecordsOfAFloodAndCountsTheOthersAsDropped) {
    StreamBuffer buffer(3, {"SE1"}, {StreamKind::SingleElectrode});
    for (std::uint64_t t = 1; t <= 5; ++t) {
        buffer.Add(StreamKind::SingleElectrode, Record(StreamKind::SingleElectrode, t).data(), "SE1");
    }
    EXPECT_EQ(buffer.Buffered(), 3u);
    EXPECT_EQ(buffer.Dropped(), 2u);
    std::vector<std::uint64_t> stamps;
    for (const auto& [object, part] : TakeAll(buffer)) stamps.insert(stamps.end(), part.begin(), part.end());
    EXPECT_EQ(stamps, (std::vector<std::uint64_t>{3, 4, 5}));
}

TEST(StreamBuffer, HandsOutOneObjectPerSegmentOldestFirstAndIgnoresOtherObjects) {
    StreamBuffer buffer(100, {"SE1", "Events"}, {StreamKind::SingleElectrode, StreamKind::Event});
    buffer.Add(StreamKind::SingleElectrode, Record(StreamKind::SingleElectrode, 1).data(), "SE1");
    buffer.Add(StreamKind::Event, Record(StreamKind::Event, 2).data(), "Events");
    buffer.Add(StreamKind::SingleElectrode, Record(StreamKind::SingleElectrode, 3).data(), "SE2");
    buffer.Add(StreamKind::Csc, Record(StreamKind::Csc, 4).data(), "SE1");
    buffer.Add(StreamKind::SingleElectrode, Record(StreamKind::SingleElectrode, 5).data(), "SE1");
    using Taken = std::vector<std::pair<std::string, std::vector<std::uint64_t>>>;
    EXPECT_EQ(TakeAll(buffer), (Taken{{"SE1", {1, 5}}, {"Events", {2}}}));
    EXPECT_EQ(buffer.Dropped(), 0u);
}

TEST(StreamBuffer, StaysBoundedWhenDroppingRunsAcrossSegments) {
    // A CSC segment closes at 4 MiB, about 4000 records.
    StreamBuffer buffer(4000, {"CSC1"}, {StreamKind::Csc});
    for (std::uint64_t t = 1; t <= 9000; ++t)
        buffer.Add(StreamKind::Csc, Record(StreamKind::Csc, t).data(), "CSC1");
    EXPECT_EQ(buffer.Buffered(), 4000u);
    EXPECT_EQ(buffer.Dropped(), 5000u);
    std::vector<std::uint64_t> stamps;
    std::size_t segments = 0;
    for (const auto& [object, part] : TakeAll(buffer)) {
        stamps.insert(stamps.end(), part.begin(), part.end());
        ++segments;
    }
    EXPECT_GT(segments, 1u);
    ASSERT_EQ(stamps.size(), 4000u);
    for (std::size_t i = 0; i < stamps.size(); ++i) ASSERT_EQ(stamps[i], 5001 + i);
}

TEST(StreamBuffer, LosesNothingUncountedWhileTwoKindsArriveAndTheReaderTakes) {
    constexpr std::uint64_t kPerKind = 20000;
    StreamBuffer buffer(500, {"SE1", "CSC1"}, {StreamKind::SingleElectrode, StreamKind::Csc});
    const auto feed = [&](StreamKind kind, const char* object) {
        for (std::uint64_t t = 1; t <= kPerKind; ++t) buffer.Add(kind, Record(kind, t).data(), object);
    };
    auto spikes = std::async(std::launch::async, feed, StreamKind::SingleElectrode, "SE1");
    auto csc = std::async(std::launch::async, feed, StreamKind::Csc, "CSC1");
    std::map<std::string, std::vector<std::uint64_t>> taken;
    const auto takeAll = [&] {
        for (const auto& [object, part] : TakeAll(buffer)) {
            taken[object].insert(taken[object].end(), part.begin(), part.end());
        }
    };
    while (spikes.wait_for(std::chrono::seconds(0)) != std::future_status::ready ||
           csc.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        takeAll();
    }
    takeAll();
    EXPECT_EQ(taken["SE1"].size() + taken["CSC1"].size() + buffer.Dropped(), 2 * kPerKind);
    for (const auto& [object, stamps] : taken) {
        // Each record once, in order; which ones were dropped depends on the threads' pace.
        EXPECT_EQ(std::adjacent_find(stamps.begin(), stamps.end(), std::greater_equal<>()), stamps.end())
            << object;
    }
}

TEST(StreamBuffer, CloseWakesAWaitingReaderAndTakesNoMoreRecords) {
    StreamBuffer buffer(10, {"SE1"}, {StreamKind::SingleElectrode});
    auto waited =
        std::async(std::launch::async, [&] { return buffer.WaitForRecords(std::chrono::seconds(10)); });
    buffer.Close();
    ASSERT_EQ(waited.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(waited.get());
    buffer.Add(StreamKind::SingleElectrode, Record(StreamKind::SingleElectrode, 1).data(), "SE1");
    EXPECT_EQ(buffer.Buffered(), 0u);
}

TEST(RecordLayouts, AnEventTextEndsAtItsNulWhateverFollowsInTheRecord) {
    auto record = Record(StreamKind::Event, 7);
    std::memcpy(record.data() + 56, "Tone on\0junk", 12);
    const auto& layout = comlux_python::LayoutOf(StreamKind::Event);
    std::vector<unsigned char> item(layout.itemSize, 0xFF);
    comlux_python::DecodeRecord(layout, record.data(), 1.5, item.data());
    const auto& text = layout.fields.back();
    ASSERT_EQ(text.name, "text");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(item.data() + text.itemOffset)), "Tone on");
    EXPECT_EQ(std::vector<unsigned char>(item.begin() + static_cast<long>(text.itemOffset) + 7, item.end()),
              std::vector<unsigned char>(text.count - 7, 0));
}

}  // namespace
