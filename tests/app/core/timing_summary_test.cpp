// The timing summary of a run journal: exact percentiles of a hand-made journal, which lines
// count for which measure, and journals that are cut short or are none.
#include <cstdio>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>

#include "app/core/TimingSummary.h"
#include "tests/support/TempDir.h"

namespace {

using sequora::ReadSavedJournal;
using sequora::SavedJournal;
using ::testing::HasSubstr;

std::string Ms(long long micros) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(micros) / 1000.0);
    return text;
}

std::string Record(const std::string& action, const std::string& text, long long due, long long sent,
                   long long answered, const std::string& status = "ok") {
    return "1\t1\t" + action + "\t" + text + "\t" + Ms(due) + "\t" + (sent < 0 ? "" : Ms(sent)) + "\t" +
           (answered < 0 ? "" : Ms(answered)) + "\t" + status + "\n";
}

const char kHead[] =
    "# sequora run journal\n"
    "# started 2026-12-09T22:10:00.123+01:00  server rig two  file /lists/a  b.cfg  seed 42  trials 3\n"
    "trial\trow\taction\ttext\tdue_ms\tsent_ms\tanswered_ms\tstatus\n";

// Lateness 1..100 µs, answers twice that; delays overrunning by 0.5, 1 and 9 ms; and the lines
// that must not count: a command never sent, a failed command's answer, a delay cut short.
std::string HandMadeBody() {
    std::string body;
    for (long long i = 1; i <= 100; ++i) {
        const long long due = i * 10000;
        body += Record(i % 3 == 0 ? "bit" : "command", "-X", due, due + i, due + 3 * i);
    }
    body += Record("command", "-Y", 2000000, -1, -1, "not sent: connection lost");
    body += Record("event", "-Z", 2000000, 2000005, 2900000, "no answer within 2000 ms");
    body += Record("delay", "200", 3000000, 3200500, -1);
    body += Record("delay", "200", 4000000, 4201000, -1);
    body += Record("delay", "10", 5000000, 5019000, -1);
    body += Record("delay", "1000", 6000000, 6000100, -1, "stopped");
    return body;
}

const char kExpectedTiming[] =
    "# timing  lateness_ms median 0.05 p99 0.099 max 0.1  answer_ms median 0.1 p99 0.198 max 0.2  "
    "overshoot_ms median 1 p99 9 max 9";

class TimingSummaryTest : public ::testing::Test {
protected:
    SavedJournal Read(const std::string& bytes) {
        testsupport::WriteFile(path, bytes);
        return ReadSavedJournal(path);
    }
    testsupport::TempDir dir;
    const std::string path = dir.File("journal.tsv");
};

TEST_F(TimingSummaryTest, AWholeJournalGivesNearestRankPercentilesOfTheLinesThatCount) {
    const SavedJournal journal = Read(kHead + HandMadeBody() + "# ended completed  after 6000.100 ms\n");
    ASSERT_TRUE(journal.readable);
    EXPECT_TRUE(journal.whole) << journal.problem;
    EXPECT_EQ(sequora::TimingLine(journal.timing), kExpectedTiming);
    EXPECT_EQ(journal.timing.lateness.Count(), 101) << "a command never sent has no lateness";
    EXPECT_EQ(journal.timing.answer.Count(), 100) << "a failed command's answer time is no answer time";
    EXPECT_EQ(journal.timing.overshoot.Count(), 3) << "a delay cut short by Stop did not overrun";
    EXPECT_EQ(journal.head.started, "2026-12-09T22:10:00.123+01:00");
    EXPECT_EQ(journal.head.server, "rig two");
    EXPECT_EQ(journal.head.file, "/lists/a  b.cfg");
    EXPECT_EQ(journal.head.seed, "42");
    EXPECT_EQ(journal.head.trials, "3");
    EXPECT_EQ(journal.ended, "# ended completed  after 6000.100 ms");
}

TEST_F(TimingSummaryTest, AJournalCutShortSaysWhereAndSumsUpWhatCameBefore) {
    const struct {
        std::string tail;
        std::string problem;
    } cases[] = {
        {"", "it stops after line 109 without its \"# ended\" line"},
        {"1\t1\tcommand\t-W\t7000.000\t7000.0", "line 110 is incomplete (it has no line end)"},
        {"1\t1\tcommand\t-W\t7000.000\tsoon\t\tok\n# ended completed  after 1 ms\n",
         "line 110 is no journal line"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.problem);
        const SavedJournal journal = Read(kHead + HandMadeBody() + c.tail);
        ASSERT_TRUE(journal.readable);
        EXPECT_FALSE(journal.whole);
        EXPECT_EQ(journal.problem, c.problem);
        EXPECT_EQ(journal.lineCount, 109);
        EXPECT_EQ(sequora::TimingLine(journal.timing), kExpectedTiming);
    }
}

TEST_F(TimingSummaryTest, AFileThatIsNoJournalIsNotReadAsOne) {
    EXPECT_FALSE(Read("[Experiment]\n").readable);
    const SavedJournal missing = ReadSavedJournal(dir.File("none.tsv"));
    EXPECT_FALSE(missing.readable);
    EXPECT_THAT(missing.problem, HasSubstr("No such file"));
}

TEST(TimingSummary, AMeasureWithoutSamplesShowsDashesAndNegativeTimesKeepTheirSign) {
    sequora::RunTiming timing;
    timing.lateness.Add(-250);
    timing.answer.Add(12000);
    EXPECT_EQ(sequora::TimingLine(timing),
              "# timing  lateness_ms median -0.25 p99 -0.25 max -0.25  answer_ms median 12 p99 12 max 12  "
              "overshoot_ms median - p99 - max -");
}

}  // namespace
