// What a row does, planned from its cell words: the table below is every kind of row, each
// with the edge words that used to be read again on every turn.
#include <climits>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/core/RandomDraw.h"
#include "app/core/RowPlan.h"
#include "tests/support/ItemRows.h"

namespace sequora {
void PrintTo(const RowPlan& plan, std::ostream* out) {
    *out << "{event " << (plan.eventText ? "[" + *plan.eventText + "]" : "-");
    if (plan.bit)
        *out << ", bit " << plan.bit->bit << (plan.bit->on ? " on" : " off") << " mask " << plan.bit->mask;
    *out << ", pieces";
    for (const std::string& piece : plan.commandPieces) *out << " [" << piece << "]";
    if (plan.delay.range) {
        *out << ", random " << plan.delay.range->minimum << ".." << plan.delay.range->maximum << "}";
    } else {
        *out << ", wait " << plan.delay.fixedMs << "}";
    }
}
}  // namespace sequora

namespace {

using namespace sequora::row_rules;
using sequora::BitPlan;
using sequora::DelayPlan;
using sequora::DelayRange;
using sequora::ItemCells;
using sequora::RowPlan;
using ::testing::ElementsAre;
using testsupport::BitRow;
using testsupport::CommandRow;
using testsupport::EventRow;
using testsupport::WaitRow;

DelayPlan Fixed(int ms) {
    return {std::nullopt, ms};
}
DelayPlan Random(int minimum, int maximum) {
    return {DelayRange{minimum, maximum}, 0};
}

struct PlanCase {
    const char* what;
    ItemCells cells;
    RowPlan plan;
};

const std::optional<std::string> kNoEvent;
const std::optional<BitPlan> kNoBit;
const std::vector<std::string> kNoCommand;

// Each row kind with its edge words; the plans are written out in the order of a row's
// actions: event command, bit, command pieces, delay.
const PlanCase kPlans[] = {
    {"a blank row only waits", sequora::BlankItemCells(), {kNoEvent, kNoBit, kNoCommand, Fixed(0)}},
    {"an event", EventRow("Tone on", "10"), {"Tone on", kNoBit, kNoCommand, Fixed(10)}},
    {"an empty event", EventRow("", "0"), {"", kNoBit, kNoCommand, Fixed(0)}},
    {"bit on", BitRow("3", "On"), {kNoEvent, BitPlan{3, true, 8}, kNoCommand, Fixed(0)}},
    {"bit off", BitRow("3", "Off"), {kNoEvent, BitPlan{3, false, 8}, kNoCommand, Fixed(0)}},
    {"a state other than the exact On resets",
     BitRow("0", "on"),
     {kNoEvent, BitPlan{0, false, 1}, kNoCommand, Fixed(0)}},
    {"a bit number is read up to its first other character",
     BitRow(" +30xyz", "On"),
     {kNoEvent, BitPlan{30, true, 1073741824}, kNoCommand, Fixed(0)}},
    {"bits above 30 cut to the lowest mask",
     BitRow("40", "On"),
     {kNoEvent, BitPlan{40, true, INT_MIN}, kNoCommand, Fixed(0)}},
    {"a negative bit sets nothing",
     BitRow("-1", "On"),
     {kNoEvent, BitPlan{-1, true, 0}, kNoCommand, Fixed(0)}},
    {"an action word other than the exact Yes takes no action",
     {"yes", "E", "YES", "2", "On", "No ", "-StartRecording", "0"},
     {kNoEvent, kNoBit, kNoCommand, Fixed(0)}},
    {"a command without bars goes out whole",
     CommandRow("-StartRecording", "0"),
     {kNoEvent, kNoBit, {"-StartRecording"}, Fixed(0)}},
    {"bars cut a command even inside its quotes",
     CommandRow("-PostEvent \"a|b\" 0 0|-StopRecording", "0"),
     {kNoEvent, kNoBit, {"-PostEvent \"a", "b\" 0 0", "-StopRecording"}, Fixed(0)}},
    {"empty pieces are kept", CommandRow("|x||", "0"), {kNoEvent, kNoBit, {"", "x", "", ""}, Fixed(0)}},
    {"an empty command goes out empty", CommandRow("", "0"), {kNoEvent, kNoBit, {""}, Fixed(0)}},
    {"a random delay", WaitRow("Random: 100-200"), {kNoEvent, kNoBit, kNoCommand, Random(100, 200)}},
    {"a negative random minimum reads as 0",
     WaitRow("Random: -5-10"),
     {kNoEvent, kNoBit, kNoCommand, Random(0, 5)}},
    {"a range without its blank", WaitRow("Random:100-250"), {kNoEvent, kNoBit, kNoCommand, Random(0, 250)}},
    {"a lower-case marker is no range", WaitRow("random: 1-2"), {kNoEvent, kNoBit, kNoCommand, Fixed(0)}},
    {"a negative fixed delay waits 0", WaitRow("-1"), {kNoEvent, kNoBit, kNoCommand, Fixed(0)}},
    {"a delay is read up to its first other character",
     WaitRow("1500ms"),
     {kNoEvent, kNoBit, kNoCommand, Fixed(1500)}},
    {"all three actions",
     {"Yes", "E", "Yes", "2", "On", "Yes", "-StartRecording", "Random: 7-9"},
     {"E", BitPlan{2, true, 4}, {"-StartRecording"}, Random(7, 9)}},
};

TEST(RowPlanTest, EachKindOfRowPlansToTheTextsItSendsAndItsDelay) {
    for (const PlanCase& c : kPlans) {
        sequora::ItemRow row;
        row[sequora::kColNumber] = "1";
        std::copy(c.cells.begin(), c.cells.end(), row.begin() + 1);
        EXPECT_EQ(sequora::PlanRow(row), c.plan) << c.what;
    }
}

TEST(RowPlanTest, DecimalValueReadsLikeTheCellsAreWritten) {
    EXPECT_EQ(DecimalValue("12"), 12);
    EXPECT_EQ(DecimalValue("  -7ms"), -7);
    EXPECT_EQ(DecimalValue("\t+5"), 5);
    EXPECT_EQ(DecimalValue("NA"), 0);
    EXPECT_EQ(DecimalValue(""), 0);
    EXPECT_EQ(DecimalValue("- 3"), 0);
    EXPECT_EQ(DecimalValue("99999999999999999999"), INT_MAX);
    EXPECT_EQ(DecimalValue("-2147483648"), INT_MIN);
    EXPECT_EQ(DecimalValue("-99999999999"), INT_MIN);
}

TEST(RowPlanTest, CommandPiecesKeepEmptyPieces) {
    EXPECT_THAT(CommandPieces("a|b"), ElementsAre("a", "b"));
    EXPECT_THAT(CommandPieces("|a||b|"), ElementsAre("", "a", "", "b", ""));
    EXPECT_THAT(CommandPieces("|"), ElementsAre("", ""));
    EXPECT_THAT(CommandPieces("-LogMessage x 1"), ElementsAre("-LogMessage x 1"));
}

TEST(RowPlanTest, RandomRangeIsReadAfterTheFirstBlank) {
    auto range = [](const std::string& cell) {
        const auto r = RandomDelayRange(cell);
        return r ? std::make_pair(r->minimum, r->maximum) : std::make_pair(-999, -999);
    };
    EXPECT_EQ(range("Random: 100-250"), std::make_pair(100, 250));
    EXPECT_EQ(range("Random: -5-10"), std::make_pair(0, 5));
    EXPECT_EQ(range("Random:100-250"), std::make_pair(0, 250));
    EXPECT_EQ(range("Random: 7"), std::make_pair(7, 0));
    EXPECT_EQ(range("x Random: 1-2"), std::make_pair(0, 2));
    EXPECT_FALSE(RandomDelayRange("random: 1-2"));
    EXPECT_FALSE(RandomDelayRange("250"));
}

TEST(RowPlanTest, RandomDelayStaysInsideItsRangeAndNeverGoesNegative) {
    for (int draw : {0, 1, 9, 12345, 32767}) {
        const long long d = RandomDelay({100, 200}, draw);
        EXPECT_EQ(d, 100 + (11 * draw) % 100);
        EXPECT_GE(d, 100);
        EXPECT_LT(d, 200);
    }
    EXPECT_EQ(RandomDelay({100, 100}, 32767), 100);
    EXPECT_EQ(RandomDelay({-50, -50}, 3), 0);
    EXPECT_EQ(RandomDelay({INT_MIN, INT_MAX}, 32767), 0);
    EXPECT_EQ(RandomDelay({0, INT_MAX}, 32767), 11LL * 32767);
}

TEST(RandomDrawTest, FollowsTheLinearCongruentialSequence) {
    sequora::RandomDraw draw;
    draw.Seed(1);
    EXPECT_EQ(draw.Next(), 41);
    EXPECT_EQ(draw.Next(), 18467);
    EXPECT_EQ(draw.Next(), 6334);
    draw.Seed(0xFFFFFFFFu);
    const int wrapped = draw.Next();
    EXPECT_GE(wrapped, 0);
    EXPECT_LE(wrapped, 32767);
    EXPECT_EQ(wrapped, static_cast<int>(((0xFFFFFFFFu * 214013u + 2531011u) >> 16) & 0x7FFF));
}

}  // namespace
