#include <climits>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/core/ItemActions.h"
#include "app/core/RandomDraw.h"

namespace {

using namespace sequora::item_actions;
using ::testing::ElementsAre;

TEST(ItemActionsTest, DecimalValueReadsLikeTheCellsAreWritten) {
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

TEST(ItemActionsTest, CommandPiecesKeepEmptyPieces) {
    EXPECT_THAT(CommandPieces("a|b"), ElementsAre("a", "b"));
    EXPECT_THAT(CommandPieces("|a||b|"), ElementsAre("", "a", "", "b", ""));
    EXPECT_THAT(CommandPieces("|"), ElementsAre("", ""));
    EXPECT_THAT(CommandPieces("-LogMessage x 1"), ElementsAre("-LogMessage x 1"));
}

TEST(ItemActionsTest, RandomRangeIsReadAfterTheFirstBlank) {
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

TEST(ItemActionsTest, RandomDelayStaysInsideItsRangeAndNeverGoesNegative) {
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
    EXPECT_EQ(FixedDelay("-1"), 0);
    EXPECT_EQ(FixedDelay("1500"), 1500);
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
