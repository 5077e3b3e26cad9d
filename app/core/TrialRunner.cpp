#include "app/core/TrialRunner.h"

#include <chrono>
#include <system_error>
#include <utility>

#include "app/core/ItemActions.h"
#include "app/core/RandomDraw.h"

namespace sequora {

namespace {

const char kTrialsCompleted[] = "Trials Completed";
const char kInvalidItemIndex[] = "Error Processing Item, invalid Item Index";
const char kThreadCreationFailed[] = "Error creating thread in OnBnClickedStart()";

// How long the worker holds between two looks at the pause flag when nothing wakes it.
constexpr std::chrono::milliseconds kPausePoll{100};

}  // namespace

/// One run's identity: Stop marks its own run only, so an old worker still finishing a
/// row can never act as part of a newer run.
struct TrialRunner::RunToken {
    std::atomic<bool> stopped{false};   // written by Stop / StopRun under mLock (any thread)
    std::atomic<bool> finished{false};  // written by the run's worker as its last action
};

TrialRunner::TrialRunner(ItemList& items, CommandSender& sender, RunObserver& observer, RunClock& clock)
    : mItems(items), mSender(sender), mObserver(observer), mClock(clock) {}

TrialRunner::~TrialRunner() {
    mClosing = true;
    {
        std::lock_guard guard(mLock);
        StopLocked();
    }
    mClock.Interrupt();
    WaitForWorkers();
}

bool TrialRunner::Start(const std::function<void()>& readForm) {
    auto run = std::make_shared<RunToken>();
    {
        std::lock_guard guard(mLock);
        if (mPaused || mRunning) return false;
        mRunning = true;
        mCurrentRun = run;
    }
    // The form is read without the lock: reading it may show a box and run the host's
    // event loop, during which Stop can be clicked.
    if (readForm) readForm();

    bool threadFailed = false;
    {
        std::lock_guard guard(mLock);
        if (mCurrentRun != run) return false;
        JoinFinishedWorkersLocked();
        try {
            mWorkers.push_back(Worker{std::thread(&TrialRunner::RunTrials, this, run), run});
        } catch (const std::system_error&) {
            threadFailed = true;
            mRunning = false;
            mCurrentRun.reset();
        }
        if (!threadFailed) {
            mControls.startEnabled = false;
            mControls.listButtonsEnabled = false;
            mControls.trialCountReadOnly = true;
            mControls.runContinuouslyEnabled = false;
        }
    }
    if (threadFailed) mObserver.ShowMessage(kThreadCreationFailed);
    return !threadFailed;
}

void TrialRunner::PauseContinue() {
    {
        std::lock_guard guard(mLock);
        if (!mRunning) return;
        const bool pause = !mPaused;
        mPaused = pause;
        mControls.pauseCaption = pause ? "Continue" : "Pause";
    }
    mClock.Interrupt();
}

void TrialRunner::Stop() {
    {
        std::lock_guard guard(mLock);
        StopLocked();
    }
    mClock.Interrupt();
}

void TrialRunner::SetRunContinuously(bool continuously) {
    {
        std::lock_guard guard(mLock);
        mRunContinuously = continuously;
        mControls.trialCountReadOnly = continuously;
    }
    mClock.Interrupt();
}

void TrialRunner::SetTrialCount(int count) {
    mTrialCount = count;
}

RunControls TrialRunner::Controls() const {
    std::lock_guard guard(mLock);
    return mControls;
}

void TrialRunner::WaitForWorkers() {
    for (;;) {
        std::vector<Worker> workers;
        {
            std::lock_guard guard(mLock);
            workers.swap(mWorkers);
        }
        if (workers.empty()) return;
        // Joined without the lock: a worker takes it to carry out the Stop operation.
        for (Worker& worker : workers) worker.thread.join();
    }
}

void TrialRunner::StopLocked() {
    mRunning = false;
    mPaused = false;
    mControls.startEnabled = true;
    mControls.pauseCaption = "Pause";
    mControls.listButtonsEnabled = true;
    mControls.trialCountReadOnly = false;
    mControls.runContinuouslyEnabled = true;
    if (mCurrentRun) {
        mCurrentRun->stopped = true;
        mCurrentRun.reset();
    }
}

bool TrialRunner::StopRun(const RunToken& run) {
    std::lock_guard guard(mLock);
    if (mCurrentRun.get() != &run) return false;
    StopLocked();
    return true;
}

void TrialRunner::JoinFinishedWorkersLocked() {
    // A finished worker has nothing left to do but return, so joining it here is quick
    // and never needs the lock we hold.
    for (auto it = mWorkers.begin(); it != mWorkers.end();) {
        if (it->run->finished) {
            it->thread.join();
            it = mWorkers.erase(it);
        } else {
            ++it;
        }
    }
}

void TrialRunner::ShowMessage(const std::string& text) {
    // A closing host is tearing down whatever would show the message.
    if (!mClosing) mObserver.ShowMessage(text);
}

void TrialRunner::RunTrials(std::shared_ptr<RunToken> run) {
    PlayTrials(*run);
    run->finished = true;
}

void TrialRunner::PlayTrials(RunToken& run) {
    const int rows = mItems.RowCount();
    if (run.stopped) {
        ShowMessage(kTrialsCompleted);
        return;
    }
    long long trialsDone = 0;
    while (trialsDone < mTrialCount || mRunContinuously) {
        if (!mClosing) mObserver.TrialStarting(trialsDone + 1, mRunContinuously ? 0 : mTrialCount.load());
        if (rows == 0) WaitWhileNothingToPlay(run);
        for (int row = 0; row < rows && !run.stopped; ++row) {
            ProcessItem(row, run);
            if (!HoldWhilePaused(run)) {
                ShowMessage(kTrialsCompleted);
                return;
            }
        }
        if (run.stopped) return;
        ++trialsDone;
    }
    if (StopRun(run)) {
        if (!mClosing) mObserver.ControlsChanged();
        ShowMessage(kTrialsCompleted);
    }
}

bool TrialRunner::HoldWhilePaused(const RunToken& run) {
    bool held = false;
    const auto wake = [&] { return !mPaused || run.stopped; };
    while (mPaused && !run.stopped) {
        held = true;
        mClock.WaitUntil(mClock.Now() + kPausePoll, wake);
    }
    return !(held && run.stopped);
}

void TrialRunner::WaitWhileNothingToPlay(const RunToken& run) {
    // With no rows a continuous run has nothing to do until it is stopped; waiting
    // instead of spinning keeps a core free and the trial counter from running away.
    const auto wake = [&] { return run.stopped || !mRunContinuously; };
    while (!wake()) mClock.WaitUntil(mClock.Now() + std::chrono::hours(1), wake);
}

void TrialRunner::ProcessItem(int row, const RunToken& run) {
    if (run.stopped) return;
    if (row < 0 || row >= mItems.RowCount()) {
        ShowMessage(kInvalidItemIndex);
        return;
    }
    ItemRow cells;
    for (int column = 0; column < kColumnCount; ++column) cells[column] = mItems.CellText(row, column);

    if (SendsEvent(cells)) Send(item_actions::PostEventCommand(cells[kColEventString]), run);
    if (SetsBit(cells)) {
        const int mask = item_actions::BitMask(item_actions::DecimalValue(cells[kColBitNumber]));
        Send(item_actions::BitCommand(BitStateOn(cells), mask), run);
    }
    if (SendsCommand(cells)) {
        const std::string& command = cells[kColCommand];
        if (command.find('|') == std::string::npos) {
            Send(command, run);
        } else {
            const std::vector<std::string> pieces = item_actions::CommandPieces(command);
            Send(pieces[static_cast<std::size_t>(DrawRandom()) % pieces.size()], run);
        }
    }
    const auto range = item_actions::RandomDelayRange(cells[kColDelay]);
    SleepDelay(
        range ? item_actions::RandomDelay(*range, DrawRandom()) : item_actions::FixedDelay(cells[kColDelay]),
        run);
}

int TrialRunner::DrawRandom() {
    // Seeding with the calendar second before every draw makes all draws within one
    // second alike; experimenters' existing protocols rely on that.
    RandomDraw generator;
    generator.Seed(static_cast<std::uint32_t>(mClock.CalendarSeconds()));
    return generator.Next();
}

void TrialRunner::Send(const std::string& command, const RunToken& run) {
    if (run.stopped) return;
    std::string answer;
    mSender.SendCommand(command, answer);
}

void TrialRunner::SleepDelay(long long milliseconds, const RunToken& run) {
    // One absolute deadline: the wait neither drifts nor accumulates wake-up latencies.
    const RunClock::TimePoint deadline = mClock.Now() + std::chrono::milliseconds(milliseconds);
    const auto wake = [&] { return run.stopped.load(); };
    while (!run.stopped && mClock.Now() < deadline) mClock.WaitUntil(deadline, wake);
}

}  // namespace sequora
