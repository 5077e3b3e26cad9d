#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "cmdfile/CmdInterface.h"

using cmdfile::CmdInterface;

namespace {

// The item-file keywords, each handler recording "<keyword>|<line>".
struct Recorder {
    std::vector<std::string> calls;
    CmdInterface commands{Table()};

    std::vector<CmdInterface::Entry> Table() {
        std::vector<CmdInterface::Entry> table;
        for (const char* keyword :
             {"-createtrialitem", "-sendeventstring", "-sendttlbit", "-sendcommand", "-setdelay"}) {
            table.push_back({keyword, [this, keyword](const std::string& line) {
                                 calls.push_back(std::string(keyword) + "|" + line);
                             }});
        }
        return table;
    }
};

}  // namespace

TEST(CmdInterface, AnyCaseAndUnambiguousAbbreviationSelectTheKeyword) {
    Recorder r;
    EXPECT_EQ(r.commands.Dispatch("-CreateTrialItem"), 0);
    EXPECT_EQ(r.commands.Dispatch("-CREATE now"), 0);
    EXPECT_EQ(r.commands.Dispatch("\t-c"), 0);
    EXPECT_EQ(r.commands.Dispatch("-SendTTL 3 on"), 0);
    EXPECT_EQ(r.commands.Dispatch("-setd\t5"), 0);
    EXPECT_EQ(r.calls, (std::vector<std::string>{"-createtrialitem|-CreateTrialItem",
                                                 "-createtrialitem|-CREATE now", "-createtrialitem|\t-c",
                                                 "-sendttlbit|-SendTTL 3 on", "-setdelay|-setd\t5"}));
}

TEST(CmdInterface, AmbiguousUnknownAndEmptyWordsAreIgnored) {
    Recorder r;
    for (const char* line : {"-send x", "-se", "-s", "-", "", "   ", "-SetDelays 5", "-createtrialitemx",
                             "createtrialitem", "x-c"}) {
        EXPECT_EQ(r.commands.Dispatch(line), -1) << line;
    }
    EXPECT_TRUE(r.calls.empty());
}

TEST(CmdInterface, KeywordsOfTheTableAreFoldedAndSingleEntryMatchesEmptyWord) {
    std::string seen;
    CmdInterface one({{"-Only", [&seen](const std::string& line) { seen = line; }}});
    EXPECT_EQ(one.Dispatch("-ONLY"), 0);
    EXPECT_EQ(seen, "-ONLY");
    EXPECT_EQ(one.Dispatch(" "), 0);
    EXPECT_EQ(seen, " ");
}
