#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <string>

#include "app/core/RandomDraw.h"
#include "app/core/TrialRunner.h"
#include "tests/support/ItemRows.h"
#include "tests/support/RunnerFixture.h"

namespace {

using sequora::RunControls;
using sequora::TrialRunner;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::Not;
using testsupport::BitRow;
using testsupport::CommandRow;
using testsupport::EventRow;
using testsupport::WaitRow;
using namespace std::chrono_literals;

// The first `count` draws of a run seeded with `seed`.
std::vector<int> Draws(std::uint32_t seed, int count) {
    sequora::RandomDraw draw;
    draw.Seed(seed);
    std::vector<int> draws(static_cast<std::size_t>(count));
    for (int& value : draws) value = draw.Next();
    return draws;
}

const RunControls kIdle{};
const RunControls kRunning{false, "Pause", false, true, false};
const RunControls kPaused{false, "Continue", false, true, false};

using TrialRunnerTest = testsupport::RunnerFixture;

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

TEST_F(TrialRunnerTest, CommandPiecesAndRandomDelaysTakeSuccessiveDrawsOfTheRunsSeed) {
    const std::uint32_t seed = 1712345678;
    runner->SetSeed(seed);
    const std::vector<int> r = Draws(seed, 5);
    items.AddItemRow(CommandRow("-StartRecording|-StopRecording", "0"));
    items.AddItemRow(CommandRow("-StartRecording|-StopRecording", "0"));
    items.AddItemRow(CommandRow("|x||", "0"));
    items.AddItemRow(WaitRow("Random: 100-200"));
    items.AddItemRow(WaitRow("Random: 100-200"));
    RunToEnd(1);

    const std::string recording[] = {"-StartRecording", "-StopRecording"};
    const std::string blanks[] = {"", "x", "", ""};
    EXPECT_THAT(log.Entries(),
                ElementsAre("send " + recording[r[0] % 2], "send " + recording[r[1] % 2],
                            "send " + blanks[r[2] % 4], "wait " + std::to_string(100 + (11 * r[3]) % 100),
                            "wait " + std::to_string(100 + (11 * r[4]) % 100), "controls",
                            "message Trials Completed"));
}

TEST_F(TrialRunnerTest, TheSameSeedReplaysARunAndDrawsWithinOneRunDiffer) {
    items.AddItemRow(CommandRow("a|b|c|d|e|f|g|h", "Random: 0-1000"));
    items.AddItemRow(CommandRow("a|b|c|d|e|f|g|h", "Random: 0-1000"));
    runner->SetSeed(4242);
    RunToEnd(3);
    const auto first = log.Entries();
    RunToEnd(3);
    const auto both = log.Entries();
    const std::vector<std::string> second(both.begin() + static_cast<long>(first.size()), both.end());
    EXPECT_EQ(first, second);

    // All draws fall within the same calendar second of the virtual clock, yet differ.
    std::vector<std::string> waits;
    for (const std::string& entry : first)
        if (entry.rfind("wait ", 0) == 0) waits.push_back(entry);
    ASSERT_EQ(waits.size(), 6u);
    EXPECT_GT(std::set<std::string>(waits.begin(), waits.end()).size(), 3u)
        << ::testing::PrintToString(waits);
    const auto sends = log.Sends();
    EXPECT_GT(std::set<std::string>(sends.begin(), sends.begin() + 6).size(), 2u);
}

TEST_F(TrialRunnerTest, WithoutASeedEachRunTakesAFreshOneAndReportsIt) {
    items.AddItemRow(WaitRow("Random: 0-30000"));
    RunToEnd(1);
    runner->WaitForWorkers();
    clock.SetAutomatic(true);
    RunToEnd(1);
    const auto starts = observer.Starts();
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_NE(starts[0].seed, starts[1].seed);
    // The wait of each run is the one its reported seed gives.
    const auto entries = log.Entries();
    EXPECT_EQ(entries[0], "wait " + std::to_string((11 * Draws(starts[0].seed, 1)[0]) % 30000));
    EXPECT_EQ(entries[3], "wait " + std::to_string((11 * Draws(starts[1].seed, 1)[0]) % 30000));
}

TEST_F(TrialRunnerTest, SeedZeroIsASeedLikeAnyOther) {
    runner->SetSeed(0);
    items.AddItemRow(WaitRow("Random: 0-30000"));
    RunToEnd(1);
    ASSERT_EQ(observer.Starts().size(), 1u);
    EXPECT_EQ(observer.Starts()[0].seed, 0u);
    EXPECT_EQ(log.Entries()[0], "wait " + std::to_string((11 * Draws(0, 1)[0]) % 30000));
}

TEST_F(TrialRunnerTest, ARowsDelayIsTimedFromItsLastAnswerNotFromTheReportAfterIt) {
    // A host whose row report takes 7 ms of the run's time.
    struct SlowHost : testsupport::RecordingObserver {
        SlowHost(testsupport::EventLog& log, testsupport::VirtualClock& clock)
            : RecordingObserver(log), clock(clock) {}
        void RowStarted(const sequora::RunPosition& at) override {
            clock.Advance(7ms);
            RecordingObserver::RowStarted(at);
        }
        testsupport::VirtualClock& clock;
    } host(log, clock);
    TrialRunner timed(items, sender, host, clock);
    items.AddItemRow(EventRow("A", "10"));
    ASSERT_TRUE(timed.Start());
    timed.WaitForWorkers();
    EXPECT_THAT(log.Entries(),
                ElementsAre("send  -PostEvent \"A\" 0 0", "wait 3", "controls", "message Trials Completed"));
}

TEST_F(TrialRunnerTest, OddDelaysNeverBecomeLongWaits) {
    const std::uint32_t seed = 1700000321;
    runner->SetSeed(seed);
    const std::vector<int> r = Draws(seed, 3);
    items.AddItemRow(WaitRow("Random: -5-10"));
    items.AddItemRow(WaitRow("Random: 100-100"));
    items.AddItemRow(WaitRow("-50"));
    items.AddItemRow(WaitRow("NA"));
    items.AddItemRow(WaitRow("Random: 0--50"));
    RunToEnd(1);
    EXPECT_THAT(log.Entries(), ElementsAre("wait " + std::to_string((11 * r[0]) % 5), "wait 100",
                                           "wait " + std::to_string((11 * r[2]) % 50), "controls",
                                           "message Trials Completed"));
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

TEST_F(TrialRunnerTest, StopDuringPauseSaysWhereItStoppedNeverThatTheTrialsCompleted) {
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
    EXPECT_THAT(log.Entries(), ElementsAre("send  -PostEvent \"A\" 0 0", "wait 10", "wait 100"));
    ASSERT_EQ(observer.Ends().size(), 1u);
    EXPECT_EQ(observer.Ends()[0].how, sequora::RunEnd::Stopped);
    EXPECT_EQ(observer.Ends()[0].row, 1);
    // The row's start, then the hold after it, both of run 1.
    const auto positions = observer.Positions();
    ASSERT_EQ(positions.size(), 2u);
    EXPECT_EQ(positions[1].run, 1u);
    EXPECT_EQ(positions[1].row, 1);
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
    // The new run's first command waits for the old run's pending answer: runs never overlap.
    sender.Release();
    ASSERT_TRUE(log.WaitForEntry("message Trials Completed"));
    runner->WaitForWorkers();

    const std::string a = " -PostEvent \"A\" 0 0";
    EXPECT_THAT(log.Sends(), ElementsAre(a, a, "X", a, "X")) << "the stopped run sends no further command";
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
