// Splitting server answers into items: blanks separate, double quotes group.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "comlux/ClientLogFile.h"
#include "comlux/internal/ParseCommandString.h"
#include "tests/support/TempDir.h"

namespace {

using testing::ElementsAre;
using testing::EndsWith;
using testing::IsEmpty;

std::vector<std::string> Tokens(const std::string& text) {
    std::vector<std::string> tokens = {"stale"};
    EXPECT_TRUE(comlux::ParseCommandString(text, tokens, nullptr)) << text;
    return tokens;
}

TEST(ParseCommandString, SeparatesWordsAtAnyRunOfWhiteSpace) {
    EXPECT_THAT(Tokens(""), IsEmpty());
    EXPECT_THAT(Tokens("alpha  beta"), ElementsAre("alpha", "beta"));
    EXPECT_THAT(Tokens("alpha\tbeta\r\ngamma"), ElementsAre("alpha", "beta", "gamma"));
    EXPECT_THAT(Tokens("  SE1 TT2 \v"), ElementsAre("SE1", "TT2"));
}

TEST(ParseCommandString, WhiteSpaceOnlyYieldsOneEmptyItem) {
    EXPECT_THAT(Tokens(" "), ElementsAre(""));
    EXPECT_THAT(Tokens("\t\n"), ElementsAre(""));
}

TEST(ParseCommandString, QuotesGroupWordsAndEndAnItem) {
    EXPECT_THAT(Tokens("\"Video Tracker\" Events"), ElementsAre("Video Tracker", "Events"));
    EXPECT_THAT(Tokens("\"\""), ElementsAre(""));
    EXPECT_THAT(Tokens("\"one\"two"), ElementsAre("one", "two"));
    EXPECT_THAT(Tokens("ab\"cd ef"), ElementsAre("ab\"cd", "ef"));
    EXPECT_THAT(Tokens("SC1 \"Acq  Source\" \"CSC\tBank\""), ElementsAre("SC1", "Acq  Source", "CSC Bank"));
}

TEST(ParseCommandString, UnmatchedQuoteKeepsEarlierItemsAndIsLogged) {
    testsupport::TempDir dir;
    comlux::ClientLogFile log;
    ASSERT_EQ(log.OpenLogFile(dir.File("log.txt")), 0);
    std::vector<std::string> tokens;
    EXPECT_FALSE(comlux::ParseCommandString("first \"second third", tokens, &log));
    EXPECT_THAT(tokens, ElementsAre("first"));
    log.CloseLogFile();
    EXPECT_THAT(
        testsupport::ReadFile(dir.File("log.txt")),
        testing::HasSubstr("- CommandProcessor::ParseCommandString() - Error Processing command string, "
                           "unable to find matching double quotes. command string: second third\r\n"));
}

}  // namespace
