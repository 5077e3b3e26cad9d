// How a run ends when something goes wrong or the user stops it, on virtual time: a failed
// command ends the run where it failed, Stop resets the bits the run left on, a stop while
// paused never blocks the next Start, and the observer hears how each run began and ended.
#include <algorithm>
#include <climits>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "app/core/TrialRunner.h"
#include "tests/support/ItemRows.h"
#include "tests/support/Patience.h"
#include "tests/support/RunnerFixture.h"

namespace {

using sequora::RunEnd;
using sequora::SendFailure;
using sequora::TrialRunner;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testsupport::BitRow;
using testsupport::CommandRow;
using testsupport::EventRow;
using testsupport::WaitRow;
using namespace std::chrono_literals;

const std::string kTrialsCompleted = "message Trials Completed";

std::string SetBit(int mask) {
    return "send -SetDIOPortBits AcqSystem1 0 " + std::to_string(mask);
}
std::string ResetBit(int mask) {
    return "send -ResetDIOPortBits AcqSystem1 0 " + std::to_string(mask);
}

class RunIntegrityTest : public testsupport::RunnerFixture {
protected:
    // Starts a run whose clock waits for the test, and returns once it sleeps in delay `n`.
    void StartAndAwaitDelay(int n) {
        clock.SetAutomatic(false);
        ASSERT_TRUE(runner->Start());
        ASSERT_TRUE(clock.AwaitWait(n));
    }
};

TEST_F(RunIntegrityTest, AFailedSendEndsTheRunThereWithOneMessageSayingWhereAndWhy) {
    items.AddItemRow(EventRow("A", "10"));
    items.AddItemRow(EventRow("B", "20"));
    items.AddItemRow({"Yes", "C", "No", "NA", "NA", "Yes", "-StartRecording", "30"});
    sender.FailAt(7, SendFailure::ConnectionLost);  // trial 2, row 3, its event
    RunToEnd(3);

    const std::string message =
        "Run stopped: the connection to the server was lost (trial 2, row 3, \" -PostEvent \"C\" 0 0\").";
    EXPECT_THAT(log.Entries(),
                ElementsAre("send  -PostEvent \"A\" 0 0", "wait 10", "send  -PostEvent \"B\" 0 0", "wait 20",
                            "send  -PostEvent \"C\" 0 0", "send -StartRecording", "wait 30",
                            "send  -PostEvent \"A\" 0 0", "wait 10", "send  -PostEvent \"B\" 0 0", "wait 20",
                            "send  -PostEvent \"C\" 0 0", "controls", "message " + message));
    EXPECT_EQ(runner->Controls(), sequora::RunControls{});
    EXPECT_FALSE(runner->Running());
    const auto ends = observer.Ends();
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].how, RunEnd::ConnectionLost);
    EXPECT_EQ(ends[0].trial, 2);
    EXPECT_EQ(ends[0].row, 3);
    EXPECT_EQ(ends[0].message, message);
}

TEST_F(RunIntegrityTest, EachKindOfFailureIsNamedInTheMessage) {
    const std::vector<std::pair<SendFailure, std::string>> failures = {
        {SendFailure::NotConnected, "there is no connection to the server"},
        {SendFailure::ConnectionLost, "the connection to the server was lost"},
        {SendFailure::AnswerUnreadable, "the server's answer could not be read"},
    };
    items.AddItemRow(CommandRow("-StopRecording", "10"));
    for (const auto& [failure, reason] : failures) {
        sender.SetConnected(true);
        sender.FailAt(1, failure);
        runner = std::make_unique<TrialRunner>(items, sender, observer, clock);
        RunToEnd(1);
        ASSERT_FALSE(observer.Ends().empty());
        EXPECT_EQ(observer.Ends().back().message,
                  "Run stopped: " + reason + " (trial 1, row 1, \"-StopRecording\").");
        EXPECT_EQ(observer.Ends().back().failure, failure);
    }
}

TEST_F(RunIntegrityTest, AStartWithoutConnectionEndsAtItsFirstCommandInsteadOfPretending) {
    items.AddItemRow(WaitRow("5"));
    items.AddItemRow(EventRow("A", "10"));
    items.AddItemRow(EventRow("B", "10"));
    sender.SetConnected(false);
    EXPECT_FALSE(sender.Connected()) << "the precondition a window asks before Start";
    RunToEnd(2);
    EXPECT_THAT(log.Entries(),
                ElementsAre("wait 5", "send  -PostEvent \"A\" 0 0", "controls",
                            "message Run stopped: there is no connection to the server (trial 1, row 2, "
                            "\" -PostEvent \"A\" 0 0\")."));
}

TEST_F(RunIntegrityTest, ALostServerEndsAContinuousRunInsteadOfLoopingThroughFailingSends) {
    items.AddItemRow(EventRow("A", "10"));
    runner->SetRunContinuously(true);
    sender.FailAt(3, SendFailure::ConnectionLost);
    ASSERT_TRUE(runner->Start());
    runner->WaitForWorkers();
    EXPECT_EQ(log.Sends().size(), 3u);
    ASSERT_EQ(observer.Ends().size(), 1u);
    EXPECT_EQ(observer.Ends()[0].how, RunEnd::ConnectionLost);
    EXPECT_EQ(observer.Ends()[0].trial, 3);
}

TEST_F(RunIntegrityTest, StopResetsExactlyTheBitsStillOnInTheOrderTheyWereSet) {
    items.AddItemRow(BitRow("2", "On"));
    items.AddItemRow(BitRow("5", "On"));
    items.AddItemRow(BitRow("2", "Off"));
    items.AddItemRow(BitRow("3", "On"));
    items.AddItemRow(BitRow("5", "On", "5000"));  // on again: still one bit to reset
    items.AddItemRow(BitRow("5", "Off"));
    StartAndAwaitDelay(1);
    runner->Stop();
    runner->WaitForWorkers();
    EXPECT_THAT(log.Entries(), ElementsAre(SetBit(4), SetBit(32), ResetBit(4), SetBit(8), SetBit(32),
                                           "wait 5000", ResetBit(32), ResetBit(8)));
    ASSERT_EQ(observer.Ends().size(), 1u);
    EXPECT_EQ(observer.Ends()[0].how, RunEnd::Stopped);
    EXPECT_EQ(observer.Ends()[0].row, 5);
}

TEST_F(RunIntegrityTest, StopWhilePausedAndClosingResetTooButACompletedRunLeavesItsBits) {
    items.AddItemRow(BitRow("31", "On", "10"));
    items.AddItemRow(BitRow("40", "On", "10"));  // the same mask as bit 31
    StartAndAwaitDelay(1);
    runner->PauseContinue();
    clock.AdvanceToDeadline();
    ASSERT_TRUE(clock.AwaitWait(2));  // holding in the pause
    runner->Stop();
    runner->WaitForWorkers();
    EXPECT_THAT(log.Entries(), ElementsAre(SetBit(INT_MIN), "wait 10", "wait 100", ResetBit(INT_MIN)))
        << "a stop while paused says where it stopped, never that the trials completed";
    ASSERT_EQ(observer.Ends().size(), 1u);
    EXPECT_EQ(observer.Ends()[0].how, RunEnd::Stopped);
    EXPECT_EQ(observer.Ends()[0].row, 1);
    EXPECT_THAT(observer.Ends()[0].resetBits, ElementsAre(31));

    StartAndAwaitDelay(3);
    runner->Close();
    EXPECT_THAT(log.Sends(), ElementsAre(SetBit(INT_MIN).substr(5), ResetBit(INT_MIN).substr(5),
                                         SetBit(INT_MIN).substr(5), ResetBit(INT_MIN).substr(5)));
    ASSERT_EQ(observer.Ends().size(), 1u) << "a closing host hears nothing";

    runner = std::make_unique<TrialRunner>(items, sender, observer, clock);
    clock.SetAutomatic(true);
    const std::size_t before = log.Sends().size();
    RunToEnd(2);
    EXPECT_EQ(log.Sends().size(), before + 4) << "a completed run sends nothing extra";
    EXPECT_EQ(observer.Ends().back().how, RunEnd::Completed);
}

TEST_F(RunIntegrityTest, EveryResetGoesOutAndIsAwaitedEvenAfterOneIsNotAnswered) {
    items.AddItemRow(BitRow("2", "On"));
    items.AddItemRow(BitRow("5", "On"));
    items.AddItemRow(BitRow("31", "On", "5000"));
    StartAndAwaitDelay(1);
    sender.FailAt(2, SendFailure::AnswerUnreadable);  // the reset of bit 5
    runner->Stop();
    runner->WaitForWorkers();
    EXPECT_THAT(log.Entries(), ElementsAre(SetBit(4), SetBit(32), SetBit(INT_MIN), "wait 5000", ResetBit(4),
                                           ResetBit(32), ResetBit(INT_MIN)));
    ASSERT_EQ(observer.Ends().size(), 1u);
    EXPECT_THAT(observer.Ends()[0].resetBits, ElementsAre(2, 31));
    EXPECT_THAT(observer.Ends()[0].unconfirmedBits,
                ElementsAre(sequora::UnconfirmedBit{5, "the server's answer could not be read"}));
}

TEST_F(RunIntegrityTest, BitsWhoseResetsCannotGoOutAreNamedWithTheReason) {
    items.AddItemRow(BitRow("3", "On"));
    items.AddItemRow(CommandRow("-StartRecording", "0"));
    sender.FailAt(2, SendFailure::ConnectionLost);
    RunToEnd(1);
    EXPECT_THAT(log.Sends(), ElementsAre(SetBit(8).substr(5), "-StartRecording"));
    ASSERT_EQ(observer.Ends().size(), 1u);
    EXPECT_THAT(observer.Ends()[0].resetBits, IsEmpty());
    EXPECT_THAT(observer.Ends()[0].unconfirmedBits,
                ElementsAre(sequora::UnconfirmedBit{3, "there is no connection to the server"}));
}

TEST_F(RunIntegrityTest, StopWithNothingOnSendsNothingExtra) {
    items.AddItemRow(BitRow("3", "On"));
    items.AddItemRow(BitRow("3", "Off"));
    items.AddItemRow(BitRow("-1", "On", "1000"));  // mask 0: sets nothing
    StartAndAwaitDelay(1);
    runner->Stop();
    runner->WaitForWorkers();
    EXPECT_THAT(log.Entries(), ElementsAre(SetBit(8), ResetBit(8), SetBit(0), "wait 1000"));
}

TEST_F(RunIntegrityTest, AFailedSendResetsTheBitsOnlyWhileTheConnectionStillWorks) {
    items.AddItemRow(BitRow("3", "On"));
    items.AddItemRow(CommandRow("-StartRecording", "0"));
    sender.FailAt(2, SendFailure::AnswerUnreadable);
    RunToEnd(1);
    EXPECT_THAT(log.Sends(), ElementsAre(SetBit(8).substr(5), "-StartRecording", ResetBit(8).substr(5)));

    runner = std::make_unique<TrialRunner>(items, sender, observer, clock);
    sender.FailAt(2, SendFailure::ConnectionLost);
    RunToEnd(1);
    EXPECT_THAT(log.Sends(), ElementsAre(SetBit(8).substr(5), "-StartRecording", ResetBit(8).substr(5),
                                         SetBit(8).substr(5), "-StartRecording"));
}

TEST_F(RunIntegrityTest, ANewRunWaitsForTheStoppedRunsResetsBeforeItsFirstCommand) {
    items.AddItemRow(BitRow("3", "On"));
    items.AddItemRow(CommandRow("X", "0"));
    sender.HoldFirst("X");
    ASSERT_TRUE(runner->Start());
    ASSERT_TRUE(sender.AwaitHolding());
    runner->Stop();
    ASSERT_TRUE(runner->Start());
    sender.Release();
    ASSERT_TRUE(log.WaitForEntry(kTrialsCompleted));
    runner->WaitForWorkers();
    // Had the new run not waited, its bit would be set before the old run's reset cleared it.
    EXPECT_THAT(log.Sends(),
                ElementsAre(SetBit(8).substr(5), "X", ResetBit(8).substr(5), SetBit(8).substr(5), "X"));
}

TEST_F(RunIntegrityTest, ANewRunWaitsForEveryEarlierRunNotOnlyTheLastOne) {
    // A is stopped while its bit-on answer is pending, B is started and stopped, C starts:
    // A's late reset must go out before C sets the bit, or it would turn C's output off.
    items.AddItemRow(BitRow("3", "On", "10"));
    sender.HoldFirst("-SetDIOPortBits AcqSystem1 0 8");
    ASSERT_TRUE(runner->Start());  // A
    ASSERT_TRUE(sender.AwaitHolding());
    runner->Stop();
    ASSERT_TRUE(runner->Start());  // B
    runner->Stop();
    ASSERT_TRUE(runner->Start());  // C
    ASSERT_TRUE(testsupport::AwaitThat([&] { return observer.Ends().size() == 1u; }))
        << "B ends, sending nothing";
    sender.Release();
    ASSERT_TRUE(log.WaitForEntry(kTrialsCompleted));
    runner->WaitForWorkers();
    EXPECT_THAT(log.Sends(), ElementsAre(SetBit(8).substr(5), ResetBit(8).substr(5), SetBit(8).substr(5)));

    // Each end names its run, so a host showing C can tell A's late report from C's own.
    const auto ends = observer.Ends();
    ASSERT_EQ(ends.size(), 3u);
    EXPECT_EQ(ends[0].run, 2u);
    EXPECT_EQ(ends[1].run, 1u);
    EXPECT_THAT(ends[1].resetBits, ElementsAre(3));
    EXPECT_EQ(ends[2].run, 3u);
    EXPECT_EQ(ends[2].how, RunEnd::Completed);
    ASSERT_EQ(observer.Starts().size(), 3u);
    EXPECT_EQ(observer.Starts()[2].run, 3u);
    ASSERT_EQ(observer.Positions().size(), 1u);
    EXPECT_EQ(observer.Positions()[0].run, 3u);
}

TEST_F(RunIntegrityTest, PauseThenStopThenStartStartsANewRunThatPlays) {
    items.AddItemRow(EventRow("A", "10"));
    items.AddItemRow(EventRow("B", "10"));
    StartAndAwaitDelay(1);
    runner->PauseContinue();
    clock.AdvanceToDeadline();
    ASSERT_TRUE(clock.AwaitWait(2));  // holding in the pause
    runner->Stop();
    EXPECT_FALSE(runner->Paused());
    ASSERT_TRUE(runner->Start()) << "a stop while paused must not block the next Start";
    clock.SetAutomatic(true);
    clock.AdvanceToDeadline();
    runner->WaitForWorkers();
    EXPECT_THAT(log.Sends(),
                ElementsAre(" -PostEvent \"A\" 0 0", " -PostEvent \"A\" 0 0", " -PostEvent \"B\" 0 0"));
    const auto entries = log.Entries();
    EXPECT_EQ(std::count(entries.begin(), entries.end(), kTrialsCompleted), 1) << "only the run that played";
}

TEST_F(RunIntegrityTest, TheObserverHearsTheStartEveryRowAndTheEnd) {
    items.AddItemRow(EventRow("A", "10"));
    items.AddItemRow(WaitRow("Random: 20-21"));
    runner->SetSeed(99);
    runner->SetTrialCount(2);
    RunToEnd(2);
    const auto starts = observer.Starts();
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].seed, 99u);
    EXPECT_EQ(starts[0].trialCount, 2);
    EXPECT_FALSE(starts[0].continuous);
    EXPECT_TRUE(starts[0].journalPath.empty());
    EXPECT_FALSE(starts[0].realtime.requested);
    EXPECT_THAT(observer.Rows(), ElementsAre("1.1/2", "1.2/2", "2.1/2", "2.2/2"));
    const auto ends = observer.Ends();
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].how, RunEnd::Completed);
    EXPECT_EQ(ends[0].trial, 2);
    EXPECT_EQ(ends[0].row, 2);
    EXPECT_TRUE(ends[0].message.empty());
    EXPECT_EQ(ends[0].elapsed, 60ms);
}

}  // namespace
