// The recorder behind comlux-record's callbacks: whole lines and exact counts while six streams
// deliver at once, and nothing written or counted outside Begin()..Finish().
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/cli/record/RecordColumns.h"
#include "app/cli/record/StreamRecorder.h"
#include "comlux/StreamKinds.h"
#include "tests/app/cli/record/RecordLineCheck.h"

namespace {

using comlux::StreamKind;
using sequora::record::StreamRecorder;
using ::testing::ElementsAre;
using ::testing::Pair;

// Zero-filled records of the kind, back to back.
std::vector<unsigned char> Records(StreamKind kind, int count) {
    return std::vector<unsigned char>(static_cast<std::size_t>(comlux::InfoOf(kind).recordSize * count), 0);
}

TEST(StreamRecorder, SixStreamsDeliveringAtOnceGiveWholeLinesAndExactCounts) {
    std::ostringstream out;
    StreamRecorder recorder(out);
    recorder.Begin();
    constexpr int kPerStream = 300;
    std::vector<std::thread> streams;
    streams.reserve(comlux::kStreamKinds.size());
    for (const auto& info : comlux::kStreamKinds) {
        streams.emplace_back([&recorder, info] {
            const auto record = Records(info.kind, 1);
            const std::string object = "obj " + std::string(info.kindWord);
            for (int i = 0; i < kPerStream; ++i) {
                StreamRecorder::Callback()(recorder.Context(info.kind), record.data(), 1, object);
            }
        });
    }
    for (std::thread& stream : streams) stream.join();
    recorder.Finish();

    const auto lines = recordcheck::Lines(out.str());
    ASSERT_EQ(lines.size(), 1 + 6 * kPerStream);
    std::map<std::string, int> perObject;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto cells = recordcheck::SplitCells(lines[i]);
        ASSERT_EQ(cells.size(), sequora::record::kColumns.size()) << lines[i].substr(0, 120);
        // Each context routes to its own kind.
        EXPECT_EQ("obj " + cells[2], cells[1]);
        ++perObject[cells[1]];
    }
    for (const auto& [object, count] : perObject) EXPECT_EQ(count, kPerStream) << object;
    const auto counts = recorder.Counts({"obj CSC", "obj Event"});
    ASSERT_EQ(counts.size(), 6u);
    EXPECT_THAT(std::vector(counts.begin(), counts.begin() + 2),
                ElementsAre(Pair("obj CSC", kPerStream), Pair("obj Event", kPerStream)));
}

TEST(StreamRecorder, RecordsOutsideBeginAndFinishAreNeitherWrittenNorCounted) {
    std::ostringstream out;
    StreamRecorder recorder(out);
    const auto record = Records(StreamKind::Event, 1);
    recorder.Deliver(StreamKind::Event, record.data(), 1, "Events");
    EXPECT_EQ(out.str(), "");

    recorder.Begin();
    recorder.Deliver(StreamKind::Event, record.data(), 1, "Events");
    recorder.Finish();
    recorder.Deliver(StreamKind::Event, record.data(), 1, "Events");

    EXPECT_EQ(recordcheck::Lines(out.str()).size(), 2u);
    EXPECT_THAT(recorder.Counts({"Events", "VT1"}), ElementsAre(Pair("Events", 1u), Pair("VT1", 0u)));
}

TEST(StreamRecorder, SeveralRecordsInOneCallAreReadAtTheirRecordSize) {
    std::ostringstream out;
    StreamRecorder recorder(out);
    recorder.Begin();
    auto records = Records(StreamKind::VideoTracker, 3);
    const auto size = static_cast<std::size_t>(comlux::InfoOf(StreamKind::VideoTracker).recordSize);
    for (std::size_t i = 0; i < 3; ++i) records[i * size + 2] = static_cast<unsigned char>(7 + i);
    recorder.Deliver(StreamKind::VideoTracker, records.data(), 3, "VT1");
    recorder.Finish();

    const auto lines = recordcheck::Lines(out.str());
    ASSERT_EQ(lines.size(), 4u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(recordcheck::SplitCells(lines[1 + i]).at(4), std::to_string(7 + i));
    EXPECT_THAT(recorder.Counts({"VT1"}), ElementsAre(Pair("VT1", 3u)));
}

}  // namespace
