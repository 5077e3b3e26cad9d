#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <string>

#include "app/core/ItemList.h"
#include "app/core/RandomDraw.h"
#include "app/core/TrialRunner.h"
#include "tests/support/EventLog.h"
#include "tests/support/RecordingObserver.h"
#include "tests/support/RecordingSender.h"
#include "tests/support/VirtualClock.h"

namespace {

using sequora::ItemCells;
using sequora::ItemList;
using sequora::RunControls;
using sequora::TrialRunner;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::Not;
using testsupport::EventLog;
using testsupport::RecordingObserver;
using testsupport::RecordingSender;
using testsupport::VirtualClock;
using namespace std::chrono_literals;

ItemCells EventRow(const std::string& text, const std::string& delay) {
    return {"Yes", text, "No", "NA", "NA", "No", "NA", delay};
}
ItemCells BitRow(const std::string& bit, const std::string& state) {
    return {"No", "NA", "Yes", bit, state, "No", "NA", "0"};
}
ItemCells CommandRow(const std::string& command, const std::string& delay) {
    return {"No", "NA", "No", "NA", "NA", "Yes", command, delay};
}
ItemCells WaitRow(const std::string& delay) {
    return {"No", "NA", "No", "NA", "NA", "No", "NA", delay};
}

int DrawFor(std::int64_t seconds) {
    sequora::RandomDraw draw;
    draw.Seed(static_cast<std::uint32_t>(seconds));
    return draw.Next();
}

const RunControls kIdle{};
const RunControls kRunning{false, "Pause", false, true, false};
const RunControls kPaused{false, "Continue", false, true, false};

class TrialRunnerTest : public ::testing::Test {
protected:
    void RunToEnd(int trials) {
        runner->SetTrialCount(trials);
        ASSERT_TRUE(runner->Start());
        runner->WaitForWorkers();
    }

    EventLog log;
    VirtualClock clock{log};
    RecordingSender sender{log};
    RecordingObserver observer{log};
    ItemList items;
    std::unique_ptr<TrialRunner> runner = std::make_unique<TrialRunner>(items, sender, observer, clock);
};

TEST_F(TrialRunnerTest, PlaysEveryRowOncePerTrialThenRestoresControlsAndReports) {
    items.AddItemRow(EventRow("A", "10"));
    items.AddItemRow(CommandRow("B", "20"));
    RunToEnd(2);
    EXPECT_THAT(log.Entries(), ElementsAre("send  -PostEvent \"A\" 0 0", "wait 10", "send B", "wait 20",
                                           "send  -PostEvent \"A\" 0 0", "wait 10", "send B", "wait 20",
                                           "controls", "message Trials Completed"));
    EXPECT_EQ(runner->Controls(), kIdle);
    EXPECT_FALSE(runner->Running());
}

TEST_F(TrialRunnerTest, NoTrialsToPlayCompletesAtOnce) {
    items.AddItemRow(EventRow("A", "10"));
    for (int count : {0, -4}) {
        RunToEnd(count);
        EXPECT_THAT(log.Sends(), ::testing::IsEmpty()) << count;
    }
    EXPECT_THAT(log.Entries(),
                ElementsAre("controls", "message Trials Completed", "controls", "message Trials Completed"));
}

TEST_F(TrialRunnerTest, EmptyListCompletesCountedTrialsButWaitsForStopWhenContinuous) {
    RunToEnd(3);
    EXPECT_THAT(log.Entries(), ElementsAre("controls", "message Trials Completed"));

    clock.SetAutomatic(false);
    runner->SetRunContinuously(true);
    ASSERT_TRUE(runner->Start());
    ASSERT_TRUE(clock.AwaitWait(1));
    runner->Stop();
    runner->WaitForWorkers();
    EXPECT_THAT(log.Entries(), ElementsAre("controls", "message Trials Completed", "wait 3600000"));
}

TEST_F(TrialRunnerTest, BuildsExactCommandTextsInActionOrder) {
    items.AddItemRow(EventRow("Tone on", "0"));
    items.AddItemRow(EventRow("", "0"));
    items.AddItemRow(EventRow("say \"hi\"", "0"));
    items.AddItemRow(BitRow("3", "On"));
    items.AddItemRow(BitRow("3", "Off"));
    items.AddItemRow(BitRow("3", "NA"));
    items.AddItemRow(BitRow("0", "On"));
    items.AddItemRow(BitRow(" +30xyz", "On"));
    items.AddItemRow(BitRow("31", "On"));
    items.AddItemRow(BitRow("40", "Off"));
    items.AddItemRow(BitRow("-1", "On"));
    items.AddItemRow(BitRow("NA", "on"));
    items.AddItemRow({"Yes", "E", "Yes", "2", "On", "Yes", "-StartRecording", "0"});
    items.AddItemRow({"yes", "E", "YES", "2", "On", "No ", "-StartRecording", "0"});
    RunToEnd(1);
    EXPECT_THAT(
        log.Sends(),
        ElementsAre(" -PostEvent \"Tone on\" 0 0", " -PostEvent \"\" 0 0", " -PostEvent \"say \"hi\"\" 0 0",
                    "-SetDIOPortBits AcqSystem1 0 8", "-ResetDIOPortBits AcqSystem1 0 8",
                    "-ResetDIOPortBits AcqSystem1 0 8", "-SetDIOPortBits AcqSystem1 0 1",
                    "-SetDIOPortBits AcqSystem1 0 1073741824", "-SetDIOPortBits AcqSystem1 0 -2147483648",
                    "-ResetDIOPortBits AcqSystem1 0 -2147483648", "-SetDIOPortBits AcqSystem1 0 0",
                    "-ResetDIOPortBits AcqSystem1 0 1", " -PostEvent \"E\" 0 0",
                    "-SetDIOPortBits AcqSystem1 0 4", "-StartRecording"));
}

TEST_F(TrialRunnerTest, CommandPiecesAndRandomDelaysFollowTheCalendarSecond) {
    const std::int64_t second = 1712345678;
    clock.SetCalendarSeconds(second);
    const int r = DrawFor(second);
    items.AddItemRow(CommandRow("-StartRecording|-StopRecording", "0"));
    items.AddItemRow(CommandRow("-StartRecording|-StopRecording", "0"));
    items.AddItemRow(CommandRow("|x||", "0"));
    items.AddItemRow(WaitRow("Random: 100-200"));
    items.AddItemRow(WaitRow("Random: 100-200"));
    RunToEnd(1);

    const char* recording[] = {"-StartRecording", "-StopRecording"};
    const char* blanks[] = {"", "x", "", ""};
    const std::string twice = recording[r % 2];
    EXPECT_THAT(log.Sends(), ElementsAre(twice, twice, blanks[r % 4]));
    const std::string wait = "wait " + std::to_string(100 + (11 * r) % 100);
    EXPECT_THAT(log.Entries(),
                ElementsAre("send " + twice, "send " + twice, std::string("send ") + blanks[r % 4], wait,
                            wait, "controls", "message Trials Completed"));
}

TEST_F(TrialRunnerTest, DrawsChangeWithTheSecond) {
    // Two consecutive seconds whose draws pick different pieces, so a runner that drew
    // once per run (or did not reseed) would send the same piece twice.
    std::int64_t second = 1712345678;
    while (DrawFor(second) % 2 == DrawFor(second + 1) % 2) ++second;
    clock.SetCalendarSeconds(second);
    items.AddItemRow(CommandRow("a|b", "1000"));
    RunToEnd(2);
    EXPECT_NE(log.Sends()[0], log.Sends()[1]);
}

TEST_F(TrialRunnerTest, OddDelaysNeverBecomeLongWaits) {
    const std::int64_t second = 1700000321;
    clock.SetCalendarSeconds(second);
    const int r = DrawFor(second);
    items.AddItemRow(WaitRow("Random: -5-10"));
    items.AddItemRow(WaitRow("Random: 100-100"));
    items.AddItemRow(WaitRow("-50"));
    items.AddItemRow(WaitRow("NA"));
    items.AddItemRow(WaitRow("Random: 0--50"));
    RunToEnd(1);
    EXPECT_THAT(log.Entries(),
                ElementsAre("wait " + std::to_string((11 * r) % 5), "wait 100",
                            "wait " + std::to_string((11 * r) % 50), "controls", "message Trials Completed"));
}

TEST_F(TrialRunnerTest, PauseTakesHoldAfterTheDelayAndContinueResumes) {
    clock.SetAutomatic(false);
    items.AddItemRow(EventRow("A", "10"));
    items.AddItemRow(EventRow("B", "10"));
    ASSERT_TRUE(runner->Start());
    ASSERT_TRUE(clock.AwaitWait(1));
    EXPECT_EQ(runner->Controls(), kRunning);
    runner->PauseContinue();
    EXPECT_EQ(runner->Controls(), kPaused);
    EXPECT_TRUE(runner->Paused());

    clock.AdvanceToDeadline();  // the delay still runs out in full
    ASSERT_TRUE(clock.AwaitWait(2));
    EXPECT_THAT(log.Entries(), ElementsAre("send  -PostEvent \"A\" 0 0", "wait 10", "wait 100"));
    EXPECT_FALSE(runner->Start()) << "Start while paused must do nothing";

    runner->PauseContinue();
    EXPECT_EQ(runner->Controls(), kRunning);
    ASSERT_TRUE(clock.AwaitWait(3));
    EXPECT_THAT(log.Sends(), ElementsAre(" -PostEvent \"A\" 0 0", " -PostEvent \"B\" 0 0"));
    clock.AdvanceToDeadline();
    ASSERT_TRUE(log.WaitForEntry("message Trials Completed"));
}

TEST_F(TrialRunnerTest, StopDuringPauseReportsCompletion) {
    clock.SetAutomatic(false);
    items.AddItemRow(EventRow("A", "10"));
    items.AddItemRow(EventRow("B", "10"));
    ASSERT_TRUE(runner->Start());
    ASSERT_TRUE(clock.AwaitWait(1));
    runner->PauseContinue();
    clock.AdvanceToDeadline();
    ASSERT_TRUE(clock.AwaitWait(2));
    runner->Stop();
    EXPECT_EQ(runner->Controls(), kIdle);
    runner->WaitForWorkers();
    EXPECT_THAT(log.Entries(),
                ElementsAre("send  -PostEvent \"A\" 0 0", "wait 10", "wait 100", "message Trials Completed"));
}

TEST_F(TrialRunnerTest, StopDuringDelayEndsSilentlyAndSendsNothingMore) {
    clock.SetAutomatic(false);
    items.AddItemRow(EventRow("A", "5000"));
    items.AddItemRow(EventRow("B", "10"));
    runner->SetRunContinuously(true);
    ASSERT_TRUE(runner->Start());
    ASSERT_TRUE(clock.AwaitWait(1));
    runner->Stop();
    EXPECT_EQ(runner->Controls(), kIdle);
    EXPECT_FALSE(runner->Running());
    runner->WaitForWorkers();  // returns without advancing the clock: Stop cut the delay short
    EXPECT_THAT(log.Entries(), ElementsAre("send  -PostEvent \"A\" 0 0", "wait 5000"));
}

TEST_F(TrialRunnerTest, AStoppedWorkerNeverJoinsTheNextRun) {
    items.AddItemRow({"Yes", "A", "No", "NA", "NA", "Yes", "X", "10"});
    sender.HoldFirst(" -PostEvent \"A\" 0 0");
    ASSERT_TRUE(runner->Start());
    ASSERT_TRUE(sender.AwaitHolding());

    runner->Stop();
    runner->SetTrialCount(2);
    ASSERT_TRUE(runner->Start()) << "Start must not wait for the old worker";
    ASSERT_TRUE(log.WaitForEntry("message Trials Completed"));
    sender.Release();
    runner->WaitForWorkers();

    const auto sends = log.Sends();
    EXPECT_EQ(std::count(sends.begin(), sends.end(), " -PostEvent \"A\" 0 0"), 3);
    EXPECT_EQ(std::count(sends.begin(), sends.end(), "X"), 2) << "the stopped run sent its command";
    const auto entries = log.Entries();
    EXPECT_EQ(std::count(entries.begin(), entries.end(), "message Trials Completed"), 1);
    EXPECT_EQ(std::count(entries.begin(), entries.end(), "controls"), 1);
    EXPECT_EQ(runner->Controls(), kIdle);
}

TEST_F(TrialRunnerTest, RestartWhileOldWorkerSleepsRunsOnlyTheNewRun) {
    clock.SetAutomatic(false);
    items.AddItemRow(EventRow("A", "1000"));
    ASSERT_TRUE(runner->Start());
    ASSERT_TRUE(clock.AwaitWait(1));
    runner->Stop();
    ASSERT_TRUE(runner->Start());
    ASSERT_TRUE(clock.AwaitWait(2));
    clock.AdvanceToDeadline();
    ASSERT_TRUE(log.WaitForEntry("message Trials Completed"));
    runner->WaitForWorkers();
    EXPECT_THAT(log.Sends(), ElementsAre(" -PostEvent \"A\" 0 0", " -PostEvent \"A\" 0 0"));
}

TEST_F(TrialRunnerTest, ListChangesDuringARunApplyFromTheRowsNextTurn) {
    clock.SetAutomatic(false);
    items.AddItemRow(EventRow("A", "10"));
    items.AddItemRow(EventRow("B", "10"));
    runner->SetTrialCount(2);
    ASSERT_TRUE(runner->Start());
    ASSERT_TRUE(clock.AwaitWait(1));
    items.AddItemRow(EventRow("C", "10"));
    items.SetCellText(0, sequora::kColEventString, "A2");
    items.SetCellText(1, sequora::kColEventString, "B2");
    for (int wait = 2; wait <= 4; ++wait) {
        clock.AdvanceToDeadline();
        ASSERT_TRUE(clock.AwaitWait(wait));
    }
    clock.AdvanceToDeadline();
    ASSERT_TRUE(log.WaitForEntry("message Trials Completed"));
    EXPECT_THAT(log.Sends(), ElementsAre(" -PostEvent \"A\" 0 0", " -PostEvent \"B2\" 0 0",
                                         " -PostEvent \"A2\" 0 0", " -PostEvent \"B2\" 0 0"));
}

TEST_F(TrialRunnerTest, ARowRemovedDuringARunIsReportedAndSkippedWithoutItsDelay) {
    clock.SetAutomatic(false);
    items.AddItemRow(EventRow("A", "10"));
    items.AddItemRow(EventRow("B", "20"));
    items.AddItemRow(EventRow("C", "30"));
    ASSERT_TRUE(runner->Start());
    ASSERT_TRUE(clock.AwaitWait(1));
    items.RemoveRow(2);
    clock.AdvanceToDeadline();
    ASSERT_TRUE(clock.AwaitWait(2));
    clock.AdvanceToDeadline();
    ASSERT_TRUE(log.WaitForEntry("message Trials Completed"));
    EXPECT_THAT(log.Entries(),
                ElementsAre("send  -PostEvent \"A\" 0 0", "wait 10", "send  -PostEvent \"B\" 0 0", "wait 20",
                            "message Error Processing Item, invalid Item Index", "controls",
                            "message Trials Completed"));
}

TEST_F(TrialRunnerTest, DestroyingTheRunnerEndsTheWorkerQuietly) {
    clock.SetAutomatic(false);
    items.AddItemRow(EventRow("A", "100000"));
    items.AddItemRow(EventRow("B", "10"));
    ASSERT_TRUE(runner->Start());
    ASSERT_TRUE(clock.AwaitWait(1));
    runner.reset();
    EXPECT_EQ(clock.WaitersNow(), 0);

    runner = std::make_unique<TrialRunner>(items, sender, observer, clock);
    ASSERT_TRUE(runner->Start());
    ASSERT_TRUE(clock.AwaitWait(2));
    runner->PauseContinue();
    clock.AdvanceToDeadline();
    ASSERT_TRUE(clock.AwaitWait(3));  // holding in the pause
    runner.reset();
    EXPECT_THAT(log.Entries(), ElementsAre("send  -PostEvent \"A\" 0 0", "wait 100000",
                                           "send  -PostEvent \"A\" 0 0", "wait 100000", "wait 100"));
}

TEST_F(TrialRunnerTest, ControlStatesFollowTheOperations) {
    runner->PauseContinue();
    EXPECT_EQ(runner->Controls(), kIdle) << "Pause while idle does nothing";
    EXPECT_FALSE(runner->Paused());

    runner->SetRunContinuously(true);
    RunControls continuous = kIdle;
    continuous.trialCountReadOnly = true;
    EXPECT_EQ(runner->Controls(), continuous);
    runner->Stop();
    EXPECT_EQ(runner->Controls(), kIdle) << "Stop makes the trial count writable";
    EXPECT_TRUE(runner->RunContinuously());
    runner->SetRunContinuously(false);
    EXPECT_EQ(runner->Controls(), kIdle);
}

TEST_F(TrialRunnerTest, StartReadsTheFormOnceAndRefusesASecondRun) {
    clock.SetAutomatic(false);
    items.AddItemRow(EventRow("A", "10"));
    int reads = 0;
    const auto readForm = [&] {
        ++reads;
        runner->SetTrialCount(2);
    };
    ASSERT_TRUE(runner->Start(readForm));
    EXPECT_FALSE(runner->Start(readForm));
    EXPECT_EQ(reads, 1);
    ASSERT_TRUE(clock.AwaitWait(1));
    clock.AdvanceToDeadline();
    ASSERT_TRUE(clock.AwaitWait(2));
    clock.AdvanceToDeadline();
    ASSERT_TRUE(log.WaitForEntry("message Trials Completed"));
    EXPECT_EQ(log.Sends().size(), 2u);
}

TEST_F(TrialRunnerTest, StopWhileTheFormIsReadCancelsTheStart) {
    items.AddItemRow(EventRow("A", "10"));
    EXPECT_FALSE(runner->Start([&] { runner->Stop(); }));
    runner->WaitForWorkers();
    EXPECT_THAT(log.Entries(), ::testing::IsEmpty());
    EXPECT_EQ(runner->Controls(), kIdle);
}

}  // namespace
