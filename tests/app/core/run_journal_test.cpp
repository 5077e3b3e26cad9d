// The run journal as a trial run writes it, on virtual time: its exact lines, the line that
// ends it for each way a run ends, flushing line by line, and a journal that cannot be written.
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "app/core/RunJournal.h"
#include "app/core/TrialRunner.h"
#include "tests/support/ItemRows.h"
#include "tests/support/Patience.h"
#include "tests/support/RunnerFixture.h"
#include "tests/support/TempDir.h"

namespace {

using sequora::RunJournal;
using sequora::SendFailure;
using sequora::TrialRunner;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using testsupport::BitRow;
using testsupport::CommandRow;
using testsupport::EventRow;
using namespace std::chrono_literals;

// Sets the process's time zone for the lifetime of the object.
class TimeZone {
public:
    explicit TimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) mOld = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~TimeZone() {
        if (mOld.empty()) {
            ::unsetenv("TZ");
        } else {
            ::setenv("TZ", mOld.c_str(), 1);
        }
        ::tzset();
    }

private:
    std::string mOld;
};

class RunJournalTest : public testsupport::RunnerFixture {
protected:
    void SetUp() override {
        runner->SetJournal({journalPath, "rig", "/lists/tone.cfg"});
        runner->SetSeed(7);
    }
    std::vector<std::string> Journal() const { return testsupport::ReadLines(journalPath); }
    // Waits until the journal holds `count` lines; false when they do not come.
    bool AwaitJournalLines(std::size_t count) const {
        const auto until = std::chrono::steady_clock::now() + testsupport::kPatience;
        while (Journal().size() < count) {
            if (std::chrono::steady_clock::now() > until) return false;
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }

    TimeZone utc{"UTC0"};
    testsupport::TempDir dir;
    const std::string journalPath = dir.File("run journal.tsv");
};

TEST_F(RunJournalTest, ASmallListGivesOneLinePerCommandAndDelayWithTheirTimes) {
    items.AddItemRow(EventRow("Tone on", "200"));
    items.AddItemRow({"No", "NA", "Yes", "3", "On", "Yes", "-StartRecording", "Random: 5-6"});
    runner->SetTrialCount(2);
    ASSERT_TRUE(runner->Start());
    runner->WaitForWorkers();
    EXPECT_THAT(
        Journal(),
        ElementsAre("# sequora run journal",
                    "# started 2023-11-14T22:13:20.000+00:00  server rig  file /lists/tone.cfg  seed 7  "
                    "trials 2",
                    "trial\trow\taction\ttext\tdue_ms\tsent_ms\tanswered_ms\tstatus",
                    "1\t1\tevent\t -PostEvent \"Tone on\" 0 0\t0.000\t0.000\t0.000\tok",
                    "1\t1\tdelay\t200\t0.000\t200.000\t\tok",
                    "1\t2\tbit\t-SetDIOPortBits AcqSystem1 0 8\t200.000\t200.000\t200.000\tok",
                    "1\t2\tcommand\t-StartRecording\t200.000\t200.000\t200.000\tok",
                    "1\t2\tdelay\t5\t200.000\t205.000\t\tok",
                    "2\t1\tevent\t -PostEvent \"Tone on\" 0 0\t205.000\t205.000\t205.000\tok",
                    "2\t1\tdelay\t200\t205.000\t405.000\t\tok",
                    "2\t2\tbit\t-SetDIOPortBits AcqSystem1 0 8\t405.000\t405.000\t405.000\tok",
                    "2\t2\tcommand\t-StartRecording\t405.000\t405.000\t405.000\tok",
                    "2\t2\tdelay\t5\t405.000\t410.000\t\tok", "# ended completed  after 410.000 ms"));
    ASSERT_EQ(observer.Starts().size(), 1u);
    EXPECT_EQ(observer.Starts()[0].journalPath, journalPath);
}

TEST_F(RunJournalTest, EveryWayARunEndsHasItsEndedLine) {
    items.AddItemRow(EventRow("A", "1000"));
    clock.SetAutomatic(false);

    ASSERT_TRUE(runner->Start());
    ASSERT_TRUE(clock.AwaitWait(1));
    runner->Stop();
    runner->WaitForWorkers();
    auto lines = Journal();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[4], "1\t1\tdelay\t1000\t0.000\t0.000\t\tstopped");
    EXPECT_EQ(lines[5], "# ended stopped  after 0.000 ms");

    ASSERT_TRUE(runner->Start());
    ASSERT_TRUE(clock.AwaitWait(2));
    runner->Close();
    EXPECT_EQ(Journal().back(), "# ended closed  after 0.000 ms");

    clock.SetAutomatic(true);
    runner = std::make_unique<TrialRunner>(items, sender, observer, clock);
    runner->SetJournal({journalPath, "rig", ""});
    sender.FailAt(1, SendFailure::ConnectionLost);
    ASSERT_TRUE(runner->Start());
    runner->WaitForWorkers();
    lines = Journal();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_THAT(lines[1], HasSubstr("  file -  seed "));
    EXPECT_THAT(lines[3], EndsWith("\tconnection lost"));
    EXPECT_EQ(lines[4], "# ended connection lost  after 0.000 ms");
}

TEST_F(RunJournalTest, LinesReachTheFileWhileTheRunGoesOn) {
    items.AddItemRow(EventRow("A", "1000"));
    clock.SetAutomatic(false);
    ASSERT_TRUE(runner->Start());
    ASSERT_TRUE(clock.AwaitWait(1));
    EXPECT_TRUE(AwaitJournalLines(4)) << "the event's line is not in the file during the delay";
    runner->Stop();
}

TEST_F(RunJournalTest, TextsThatWouldBreakARecordApartAreEscaped) {
    items.AddItemRow(CommandRow("-LogMessage a\tb\nc\rd 1", "0"));
    runner->SetJournal({journalPath, "rig\t2", "/my lists/x.cfg"});
    ASSERT_TRUE(runner->Start());
    runner->WaitForWorkers();
    const auto lines = Journal();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_THAT(lines[1], HasSubstr("  server rig\\t2  file /my lists/x.cfg  "));
    EXPECT_EQ(lines[3], "1\t1\tcommand\t-LogMessage a\\tb\\nc\\rd 1\t0.000\t0.000\t0.000\tok");
    EXPECT_THAT(log.Sends(), ElementsAre("-LogMessage a\tb\nc\rd 1")) << "the command itself is unchanged";
}

TEST_F(RunJournalTest, AJournalThatCannotBeWrittenRefusesTheStart) {
    items.AddItemRow(EventRow("A", "0"));
    const std::string path = dir.File("missing folder/journal.tsv");
    runner->SetJournal({path, "rig", ""});
    EXPECT_FALSE(runner->Start());
    runner->WaitForWorkers();
    EXPECT_THAT(log.Entries(), ElementsAre("message The run journal cannot be written: " + path +
                                           " (No such file or directory)"));
    EXPECT_FALSE(runner->Running());
    EXPECT_EQ(runner->Controls(), sequora::RunControls{});

    // A journal asked for as a new file never replaces one.
    testsupport::WriteFile(journalPath, "keep me\n");
    runner->SetJournal({journalPath, "rig", "", sequora::JournalOpen::CreateNew});
    EXPECT_FALSE(runner->Start());
    EXPECT_EQ(testsupport::ReadFile(journalPath), "keep me\n");
}

TEST_F(RunJournalTest, AResetThatNeverWentOutIsJournalledAsNotSentWithoutTimes) {
    items.AddItemRow(BitRow("3", "On"));
    items.AddItemRow(CommandRow("-StartRecording", "0"));
    sender.FailAt(2, SendFailure::ConnectionLost);
    RunToEnd(1);
    const auto lines = Journal();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[5], "1\t2\tcommand\t-StartRecording\t0.000\t0.000\t0.000\tconnection lost");
    EXPECT_EQ(lines[6], "1\t2\tbit\t-ResetDIOPortBits AcqSystem1 0 8\t0.000\t\t\tnot sent: no connection");
}

TEST_F(RunJournalTest, AStalledReaderStopsTheJournalOnceAndNeverHoldsUpTheRun) {
    const std::string fifo = dir.File("journal.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A reader that never reads: the pipe fills, then the queue behind it.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    items.AddItemRow(
        CommandRow("-LogMessage a-rather-long-message-that-fills-the-pipe-and-the-queue 1", "0"));
    runner->SetJournal({fifo, "rig", ""});
    runner->SetRunContinuously(true);
    ASSERT_TRUE(runner->Start());
    EXPECT_TRUE(testsupport::AwaitThat([&] { return !observer.JournalStops().empty(); }));
    runner->Stop();
    runner->WaitForWorkers();
    ::close(reader);
    ASSERT_EQ(observer.JournalStops().size(), 1u);
    EXPECT_THAT(observer.JournalStops()[0],
                MatchesRegex("Journal stopped at trial [0-9]+, row 1: its reader stopped taking lines"));
    ASSERT_EQ(observer.Ends().size(), 1u);
    EXPECT_EQ(observer.Ends()[0].journalFailure, observer.JournalStops()[0]);
}

TEST(RunJournalTime, LocalTimeCarriesMillisecondsAndTheOffsetFromUtc) {
    const std::chrono::system_clock::time_point time(std::chrono::seconds(1700000000) + 7ms);
    {
        TimeZone zone("UTC0");
        EXPECT_EQ(RunJournal::IsoLocalTime(time), "2023-11-14T22:13:20.007+00:00");
    }
    {
        TimeZone zone("XXX-5:45");
        EXPECT_EQ(RunJournal::IsoLocalTime(time), "2023-11-15T03:58:20.007+05:45");
    }
    {
        TimeZone zone("YYY3:30");
        EXPECT_EQ(RunJournal::IsoLocalTime(time), "2023-11-14T18:43:20.007-03:30");
    }
}

}  // namespace
