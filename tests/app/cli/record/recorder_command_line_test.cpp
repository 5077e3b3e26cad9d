// comlux-record's command line: every option with its value, and the refusals.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "app/cli/record/RecorderCommandLine.h"

namespace {

using sequora::record::ParseRecorderCommandLine;
using Outcome = sequora::record::RecorderCommandLine::Outcome;

TEST(RecorderCommandLine, ReadsEveryOptionAndTheObjectsInOrder) {
    const auto line = ParseRecorderCommandLine({"--server", "rig-7", "--seconds", "0.25", "--out", "a b.tsv",
                                                "--log", "log.txt", "CSC 1", "SE1", "--", "-odd"});
    ASSERT_EQ(line.outcome, Outcome::Record) << line.text;
    EXPECT_EQ(line.options.server, "rig-7");
    ASSERT_TRUE(line.options.seconds.has_value());
    EXPECT_DOUBLE_EQ(*line.options.seconds, 0.25);
    EXPECT_EQ(line.options.outPath, "a b.tsv");
    EXPECT_EQ(line.options.logPath, "log.txt");
    EXPECT_EQ(line.options.objects, (std::vector<std::string>{"CSC 1", "SE1", "-odd"}));

    const auto plain = ParseRecorderCommandLine({"Events"});
    ASSERT_EQ(plain.outcome, Outcome::Record) << plain.text;
    EXPECT_FALSE(plain.options.seconds.has_value());
    EXPECT_EQ(plain.options.server, "");
    EXPECT_EQ(plain.options.outPath, "");
}

TEST(RecorderCommandLine, HelpWinsOverEverythingElse) {
    const auto line = ParseRecorderCommandLine({"--bogus", "--help"});
    EXPECT_EQ(line.outcome, Outcome::Help);
    EXPECT_NE(line.text.find("Usage: comlux-record"), std::string::npos);
}

TEST(RecorderCommandLine, RefusesWhatCannotBeRecorded) {
    const std::vector<std::vector<std::string>> refused = {
        {},
        {"--seconds", "1"},
        {"--seconds", "0", "SE1"},
        {"--seconds", "-1", "SE1"},
        {"--seconds", "nan", "SE1"},
        {"--seconds", "inf", "SE1"},
        {"--seconds", "soon", "SE1"},
        {"--server"},
        {"--bogus", "SE1"},
    };
    for (const auto& args : refused) {
        const auto line = ParseRecorderCommandLine(args);
        EXPECT_EQ(line.outcome, Outcome::BadUsage) << (args.empty() ? "(nothing)" : args[0]);
        EXPECT_FALSE(line.text.empty());
        EXPECT_EQ(line.text.find('\n'), std::string::npos) << line.text;
    }
}

}  // namespace
