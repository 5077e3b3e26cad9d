#include "app/core/TrialRunner.h"

#include <algorithm>
#include <chrono>
#include <system_error>
#include <utility>

#include "app/core/RandomDraw.h"
#include "app/core/RealtimeHold.h"
#include "app/core/RunBits.h"
#include "app/core/RunMessages.h"
#include "app/core/RunRecorder.h"

namespace sequora {

namespace {

// How long the worker holds between two looks at the pause flag when nothing wakes it.
constexpr std::chrono::milliseconds kPausePoll{100};

}  // namespace

/// One run's identity and what was fixed for it at Start: Stop marks its own run only, so an
/// old worker still finishing a row can never act as part of a newer run.
struct TrialRunner::RunToken {
    std::atomic<bool> stopped{false};      // written by Stop / StopRun / Close under mLock (any thread)
    std::atomic<bool> doneSending{false};  // written by the run's worker under mLock after its last answer
    std::atomic<bool> finished{false};     // written by the run's worker as its last action
    RunBits bits;  // its own lock; noted by the run's worker, refused by the Stop operation

    // Written by Start before the worker exists, then read by the worker only.
    std::uint64_t number = 0;
    std::uint32_t seed = 0;
    JournalSettings journalSettings;
    std::unique_ptr<RunJournal> journal;  // without a file when the run writes none
    std::string journalPath;              // what RunStartInfo reports
    bool realtime = false;
    std::vector<std::shared_ptr<RunToken>> earlier;  // runs whose last answers must come first
};

/// What the worker keeps while it plays one run. Worker thread only.
struct TrialRunner::Play {
    Play(RunToken& token, const ItemList& items, CommandSender& sender, RunClock& clock)
        : run(token),
          plans(items, token.stopped),
          recorder(token.journal.get(), sender, clock, token.stopped) {}

    RunPlace Place() const { return {trial, row}; }

    RunToken& run;
    ListPlan plans;        // the rows and their number, taken as the run starts
    RunRecorder recorder;  // times and journals the run's exchanges and delays
    RandomDraw random;
    std::uint32_t seed = 0;
    RunClock::TimePoint start{};  // the run's time zero
    long long trial = 0;          // 1-based, the trial being played
    int row = 0;                  // 1-based, the row being played
    bool failed = false;          // a command failed while the run was not stopped
    SendFailure failure = SendFailure::ConnectionLost;
    std::string failedCommand;
    long long failedTrial = 0;
    int failedRow = 0;
};

TrialRunner::TrialRunner(ItemList& items, CommandSender& sender, RunObserver& observer, RunClock& clock)
    : mItems(items), mSender(sender), mObserver(observer), mClock(clock) {}

TrialRunner::~TrialRunner() {
    Close();
}

bool TrialRunner::Start(const std::function<void()>& readForm) {
    auto run = std::make_shared<RunToken>();
    {
        std::lock_guard guard(mLock);
        if (mClosing || mPaused || mRunning) return false;
        mRunning = true;
        mCurrentRun = run;
    }
    // The form is read without the lock: reading it may show a box and run the host's
    // event loop, during which Stop can be clicked.
    if (readForm) readForm();

    {
        std::lock_guard guard(mLock);
        if (mCurrentRun != run) return false;
        run->number = ++mRunsStarted;
        run->seed = mSeed ? *mSeed : SeedFromClock(mClock);
        run->journalSettings = mJournal;
        run->realtime = mRealtime;
        if (mOpenedJournal) {
            run->journal = std::move(mOpenedJournal);
            run->journalPath = std::move(mOpenedJournalPath);
        }
    }
    // Opened without the lock: opening a pipe waits for its reader. Without a file the journal
    // still gathers the run's timing.
    std::string refusal;
    if (!run->journal) refusal = OpenJournal(*run);
    if (run->journal) {
        run->journal->OnFailure([this, number = run->number](const std::string& message) {
            if (!mClosing) mObserver.JournalStopped(number, message);
        });
    }
    {
        std::lock_guard guard(mLock);
        if (mCurrentRun != run) return false;
        if (refusal.empty()) {
            JoinFinishedWorkersLocked();
            for (const Worker& worker : mWorkers) run->earlier.push_back(worker.run);
            try {
                mWorkers.push_back(Worker{std::thread(&TrialRunner::RunTrials, this, run), run});
            } catch (const std::system_error&) {
                refusal = run_messages::kThreadCreationFailed;
            }
        }
        if (refusal.empty()) {
            mControls.startEnabled = false;
            mControls.listButtonsEnabled = false;
            mControls.trialCountReadOnly = true;
            mControls.runContinuouslyEnabled = false;
        } else {
            mRunning = false;
            mCurrentRun.reset();
        }
    }
    if (!refusal.empty()) mObserver.ShowMessage(refusal);
    return refusal.empty();
}

std::string TrialRunner::OpenJournal(RunToken& run) {
    JournalHeader header;
    if (!run.journalSettings.path.empty()) header.started = mClock.CalendarNow();
    header.seed = run.seed;
    header.trials = mTrialCount;
    header.continuous = mRunContinuously;
    std::string refusal;
    run.journal = RunRecorder::OpenJournal(run.journalSettings, header, refusal);
    if (run.journal) run.journalPath = run.journalSettings.path;
    return refusal;
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

void TrialRunner::Close() {
    mClosing = true;
    Stop();
    WaitForWorkers();
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

void TrialRunner::SetSeed(std::optional<std::uint32_t> seed) {
    std::lock_guard guard(mLock);
    mSeed = seed;
}

void TrialRunner::SetJournal(JournalSettings settings) {
    std::lock_guard guard(mLock);
    mJournal = std::move(settings);
}

void TrialRunner::SetOpenedJournal(std::unique_ptr<RunJournal> journal, std::string path) {
    std::lock_guard guard(mLock);
    mOpenedJournal = std::move(journal);
    mOpenedJournalPath = std::move(path);
}

void TrialRunner::SetRealtime(bool enabled) {
    std::lock_guard guard(mLock);
    mRealtime = enabled;
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

std::vector<int> TrialRunner::BitsNotConfirmed() const {
    std::lock_guard guard(mLock);
    std::vector<int> bits;
    for (const Worker& worker : mWorkers) {
        const std::vector<int> on = worker.run->bits.BitsOn();
        bits.insert(bits.end(), on.begin(), on.end());
    }
    return bits;
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
        // From here the run's worker sets no bit on that its Safe Stop would not know of.
        mCurrentRun->bits.RefuseNewBits();
        mCurrentRun.reset();
        // A new run's worker waiting for earlier runs gives up when it is stopped itself.
        mSendingDone.notify_all();
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

void TrialRunner::RunTrials(const std::shared_ptr<RunToken>& run) {
    std::string message;
    {
        // Planned while earlier runs may still finish, and before the real-time treatment and
        // the run's time zero: a long list takes a while to plan.
        Play play(*run, mItems, mSender, mClock);
        WaitForEarlierRuns(*run);
        const RealtimeHold realtime(run->realtime);
        BeginRun(play, realtime.Grant());
        const Ending ending = PlayTrials(play);
        message = FinishRun(play, ending);
    }
    // Shown after the real-time hold has ended: the run is over while the user reads.
    if (!message.empty()) ShowMessage(message);
    run->finished = true;
}

void TrialRunner::WaitForEarlierRuns(RunToken& run) {
    // An earlier run may still wait for an answer or send its resets; a command of this run
    // sent before they are over could be undone by them.
    const std::vector<std::shared_ptr<RunToken>> earlier = std::move(run.earlier);
    const auto allDone = [&] {
        return std::all_of(earlier.begin(), earlier.end(),
                           [](const auto& e) { return e->doneSending.load(); });
    };
    std::unique_lock lock(mLock);
    mSendingDone.wait(lock, [&] { return run.stopped || allDone(); });
}

void TrialRunner::BeginRun(Play& play, const RealtimeGrant& grant) {
    RunToken& run = play.run;
    play.seed = run.seed;
    play.random.Seed(play.seed);
    if (!mClosing) {
        RunStartInfo info;
        info.run = run.number;
        info.seed = play.seed;
        info.trialCount = mTrialCount;
        info.continuous = mRunContinuously;
        info.journalPath = run.journal ? run.journalPath : "";
        info.realtime = grant;
        mObserver.RunStarted(info);
    }
    play.start = mClock.Now();
    play.recorder.Begin(play.start);
}

RunPosition TrialRunner::Position(const Play& play) const {
    RunPosition at;
    at.run = play.run.number;
    at.trial = play.trial;
    at.row = play.row;
    at.rowCount = play.plans.RowCount();
    at.trialCount = mRunContinuously ? 0 : mTrialCount.load();
    return at;
}

TrialRunner::Ending TrialRunner::PlayTrials(Play& play) {
    RunToken& run = play.run;
    if (run.stopped) return Ending::Stopped;
    long long trialsDone = 0;
    while (trialsDone < mTrialCount || mRunContinuously) {
        play.trial = trialsDone + 1;
        play.row = 0;
        if (!mClosing) mObserver.TrialStarting(Position(play));
        if (play.plans.RowCount() == 0) WaitWhileNothingToPlay(run);
        for (int row = 0; row < play.plans.RowCount() && !run.stopped; ++row) {
            play.row = row + 1;
            ProcessItem(row, play);
            if (play.failed) return Ending::SendFailed;
            if (!HoldWhilePaused(play)) return Ending::Stopped;
        }
        if (run.stopped) return Ending::Stopped;
        ++trialsDone;
    }
    return Ending::Completed;
}

std::string TrialRunner::FinishRun(Play& play, Ending ending) {
    RunToken& run = play.run;
    RunEndInfo info;
    info.run = run.number;
    info.how = RunEnd::Stopped;
    bool controlsChanged = false;
    std::string message;
    switch (ending) {
        case Ending::Completed:
            if (StopRun(run)) {
                info.how = RunEnd::Completed;
                controlsChanged = true;
                message = run_messages::kTrialsCompleted;
            }
            break;
        case Ending::Stopped: break;
        case Ending::SendFailed:
            if (StopRun(run)) {
                info.how = RunEnd::ConnectionLost;
                info.failure = play.failure;
                controlsChanged = true;
                info.message = run_messages::FailedSend(play.failure, play.failedTrial, play.failedRow,
                                                        play.failedCommand);
                message = info.message;
            }
            break;
    }
    if (info.how == RunEnd::Stopped && mClosing) info.how = RunEnd::Closed;
    // A run that completed leaves its bits as the list left them: that is the protocol.
    if (info.how != RunEnd::Completed) SafeStop(play, info);
    {
        std::lock_guard guard(mLock);
        run.doneSending = true;
    }
    mSendingDone.notify_all();

    const RunClock::TimePoint end = mClock.Now();
    play.recorder.Finish(info.how, end, info);
    info.trial = play.trial;
    info.row = play.row;
    info.elapsed = end - play.start;
    if (mClosing) return {};
    if (controlsChanged) mObserver.ControlsChanged();
    mObserver.RunEnded(info);
    return message;
}

void TrialRunner::SafeStop(Play& play, RunEndInfo& info) {
    RunRecorder::Resets channel(play.recorder, play.Place(), [this, &play](const std::vector<int>& bits) {
        if (!mClosing) mObserver.ResetsStarting(play.run.number, bits);
    });
    play.run.bits.ResetAll(channel, info.resetBits, info.unconfirmedBits);
}

bool TrialRunner::HoldWhilePaused(Play& play) {
    const RunToken& run = play.run;
    bool held = false;
    const auto wake = [&] { return !mPaused || run.stopped; };
    while (mPaused && !run.stopped) {
        if (!held && !mClosing) mObserver.PauseHeld(Position(play), true);
        held = true;
        mClock.WaitUntil(mClock.Now() + kPausePoll, wake);
    }
    if (!held) return true;
    if (run.stopped) return false;
    play.recorder.DueNow();
    if (!mClosing) mObserver.PauseHeld(Position(play), false);
    return true;
}

void TrialRunner::WaitWhileNothingToPlay(const RunToken& run) {
    // With no rows a continuous run has nothing to do until it is stopped; waiting
    // instead of spinning keeps a core free and the trial counter from running away.
    const auto wake = [&] { return run.stopped || !mRunContinuously; };
    while (!wake()) mClock.WaitUntil(mClock.Now() + std::chrono::hours(1), wake);
}

void TrialRunner::ProcessItem(int row, Play& play) {
    RunToken& run = play.run;
    if (run.stopped) return;
    const RowPlan* plan = play.plans.Current(row);
    if (!plan) {
        ShowMessage(run_messages::kInvalidItemIndex);
        play.recorder.DueNow();
        return;
    }
    play.recorder.RowStarting();
    if (!SendRow(*plan, play)) return;

    const long long delay = DelayMs(plan->delay, play.random);
    const RunRecorder::DelayTimes times = play.recorder.DelayAfterRow(delay);
    // A stopped run reports no new row: its host may be showing a newer run by now.
    if (!mClosing && !run.stopped) mObserver.RowStarted(Position(play));
    play.recorder.SleepDelay(times, delay, play.Place());
}

bool TrialRunner::SendRow(const RowPlan& plan, Play& play) {
    // Each step that sends ends the row when its command was not sent or failed.
    if (plan.eventText && !Send(row_rules::PostEventCommand(*plan.eventText), JournalAction::Event, play))
        return false;
    if (plan.bit) {
        const BitPlan& bit = *plan.bit;
        if (!play.run.bits.BeforeSending(bit)) return false;
        if (!Send(row_rules::BitCommand(bit.on, bit.mask), JournalAction::Bit, play)) return false;
        play.run.bits.Answered(bit);
    }
    if (!plan.commandPieces.empty() && !Send(CommandToSend(plan, play.random), JournalAction::Command, play))
        return false;
    return true;
}

bool TrialRunner::Send(const std::string& command, JournalAction action, Play& play) {
    if (play.run.stopped) return false;
    if (play.recorder.Exchange(command, action, play.Place())) return true;
    if (!play.run.stopped) {
        play.failed = true;
        play.failure = mSender.LastFailure();
        play.failedCommand = command;
        play.failedTrial = play.trial;
        play.failedRow = play.row;
    }
    return false;
}

}  // namespace sequora
