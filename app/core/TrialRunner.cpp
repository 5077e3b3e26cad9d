#include "app/core/TrialRunner.h"

#include <algorithm>
#include <chrono>
#include <system_error>
#include <utility>

#include "app/core/ItemActions.h"
#include "app/core/RandomDraw.h"
#include "app/core/RealtimeHold.h"
#include "app/core/RunMessages.h"

namespace sequora {

namespace {

// How long the worker holds between two looks at the pause flag when nothing wakes it.
constexpr std::chrono::milliseconds kPausePoll{100};

const char kStatusStopped[] = "stopped";

// A seed from the clock: both clocks' nanoseconds, mixed (splitmix64's finaliser) so that
// runs started close together get unrelated seeds.
std::uint32_t SeedFromClock(RunClock& clock) {
    const auto calendar = clock.CalendarNow().time_since_epoch();
    const auto steady = clock.Now().time_since_epoch();
    std::uint64_t x =
        static_cast<std::uint64_t>(std::chrono::nanoseconds(calendar).count()) ^
        (static_cast<std::uint64_t>(std::chrono::nanoseconds(steady).count()) * 0x9E3779B97F4A7C15u);
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9u;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBu;
    x ^= x >> 31;
    return static_cast<std::uint32_t>(x);
}

}  // namespace

/// One run's identity and what was fixed for it at Start: Stop marks its own run only, so an
/// old worker still finishing a row can never act as part of a newer run.
struct TrialRunner::RunToken {
    std::atomic<bool> stopped{false};      // written by Stop / StopRun / Close under mLock (any thread)
    std::atomic<bool> doneSending{false};  // written by the run's worker under mLock after its last command
    // Set by the run's worker under mLock before it sends a command that turns a bit on, cleared
    // by it when no bit is left on: while set, a Safe Stop may still send resets.
    std::atomic<bool> holdsBits{false};
    std::atomic<bool> finished{false};  // written by the run's worker as its last action

    // Written by Start before the worker exists, then read by the worker only.
    std::optional<std::uint32_t> seed;
    JournalSettings journalSettings;
    std::unique_ptr<RunJournal> journal;  // without a file when the run writes none
    bool realtime = false;
    std::shared_ptr<RunToken> previous;  // the run before, whose resets must go out first
};

/// What the worker keeps while it plays one run. Worker thread only.
struct TrialRunner::Play {
    explicit Play(RunToken& token) : run(token) {}

    RunToken& run;
    RandomDraw random;
    std::uint32_t seed = 0;
    RunClock::TimePoint start{};  // the run's time zero
    RunClock::TimePoint due{};    // when the next action is meant to start
    long long trial = 0;          // 1-based, the trial being played
    int row = 0;                  // 1-based, the row being played
    int rowCount = 0;
    std::vector<int> bitsOn;  // masks of the bits set on and not reset, in the order set
    bool failed = false;      // a command failed while the run was not stopped
    SendFailure failure = SendFailure::ConnectionLost;
    std::string failedCommand;
    long long failedTrial = 0;
    int failedRow = 0;
    // A delay's line waits here until the next command has been sent, so that journaling
    // never stands between a delay's end and that command.
    std::optional<JournalLine> pendingDelay;
    // When the row's last exchange was over: the row's delay starts there, so that the
    // bookkeeping after it (queuing journal lines, reports) costs the run nothing.
    std::optional<RunClock::TimePoint> lastAnswered;
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

    std::string refusal;
    {
        std::lock_guard guard(mLock);
        if (mCurrentRun != run) return false;
        run->seed = mSeed;
        run->journalSettings = mJournal;
        run->realtime = mRealtime;
        // Without a file the journal still gathers the run's timing.
        auto journal = std::make_unique<RunJournal>();
        std::string reason;
        if (journal->Open(mJournal.path, reason)) {
            run->journal = std::move(journal);
        } else {
            refusal = run_messages::JournalNotWritable(mJournal.path, reason);
        }
        if (refusal.empty()) {
            JoinFinishedWorkersLocked();
            if (!mWorkers.empty()) run->previous = mWorkers.back().run;
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
        // A new run's worker waiting for this one's resets gives up when it is stopped itself.
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

void TrialRunner::RunTrials(std::shared_ptr<RunToken> run) {
    WaitForEarlierRun(*run);
    std::string message;
    {
        const RealtimeHold realtime(run->realtime);
        Play play(*run);
        BeginRun(play, realtime.Grant());
        const Ending ending = PlayTrials(play);
        message = FinishRun(play, ending);
    }
    // Shown after the real-time hold has ended: the run is over while the user reads.
    if (!message.empty()) ShowMessage(message);
    run->finished = true;
}

void TrialRunner::WaitForEarlierRun(RunToken& run) {
    // The earlier run may still be resetting its bits; a command of this run sent before
    // those resets could be undone by them.
    const std::shared_ptr<RunToken> previous = std::move(run.previous);
    if (!previous) return;
    std::unique_lock lock(mLock);
    mSendingDone.wait(lock, [&] { return !previous->holdsBits || previous->doneSending || run.stopped; });
}

void TrialRunner::BeginRun(Play& play, const RealtimeGrant& grant) {
    RunToken& run = play.run;
    play.seed = run.seed ? *run.seed : SeedFromClock(mClock);
    play.random.Seed(play.seed);
    const int trialCount = mTrialCount;
    const bool continuous = mRunContinuously;
    if (!mClosing) {
        mObserver.RunStarted(
            RunStartInfo{play.seed, trialCount, continuous, run.journalSettings.path, grant});
    }
    play.start = play.due = mClock.Now();
    if (run.journal) {
        JournalHeader header;
        header.started = mClock.CalendarNow();
        header.server = run.journalSettings.server;
        header.listFile = run.journalSettings.listFile;
        header.seed = play.seed;
        header.trials = trialCount;
        header.continuous = continuous;
        run.journal->Begin(header, play.start);
    }
}

TrialRunner::Ending TrialRunner::PlayTrials(Play& play) {
    RunToken& run = play.run;
    play.rowCount = mItems.RowCount();
    if (run.stopped) return Ending::StoppedWhileHeld;
    long long trialsDone = 0;
    while (trialsDone < mTrialCount || mRunContinuously) {
        play.trial = trialsDone + 1;
        play.row = 0;
        if (!mClosing) mObserver.TrialStarting(play.trial, mRunContinuously ? 0 : mTrialCount.load());
        if (play.rowCount == 0) WaitWhileNothingToPlay(run);
        for (int row = 0; row < play.rowCount && !run.stopped; ++row) {
            play.row = row + 1;
            ProcessItem(row, play);
            if (play.failed) return Ending::SendFailed;
            if (!HoldWhilePaused(play)) return Ending::StoppedWhileHeld;
        }
        if (run.stopped) return Ending::Stopped;
        ++trialsDone;
    }
    return Ending::Completed;
}

std::string TrialRunner::FinishRun(Play& play, Ending ending) {
    RunToken& run = play.run;
    RunEndInfo info;
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
        case Ending::StoppedWhileHeld: message = run_messages::kTrialsCompleted; break;
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
    if (info.how != RunEnd::Completed) SafeStop(play);
    {
        std::lock_guard guard(mLock);
        run.doneSending = true;
    }
    mSendingDone.notify_all();

    const RunClock::TimePoint end = mClock.Now();
    if (run.journal) {
        if (play.pendingDelay) run.journal->Add(std::move(*play.pendingDelay));
        run.journal->End(info.how, end);
        run.journal->Close();
        info.timing = run.journal->Timing();
    }
    info.trial = play.trial;
    info.row = play.row;
    info.elapsed = end - play.start;
    if (mClosing) return {};
    if (controlsChanged) mObserver.ControlsChanged();
    mObserver.RunEnded(info);
    return message;
}

void TrialRunner::SafeStop(Play& play) {
    if (play.bitsOn.empty() || !mSender.Connected()) return;
    play.due = mClock.Now();
    for (const int mask : play.bitsOn) {
        // A reset that fails means the connection is gone: the others would fail as well.
        if (!Exchange(item_actions::BitCommand(false, mask), JournalAction::Bit, play)) break;
    }
    play.bitsOn.clear();
    play.run.holdsBits = false;
}

bool TrialRunner::ClaimBitBeforeSending(RunToken& run) {
    // Under the lock that Stop takes: either this run is stopped and sends nothing, or a run
    // started after the Stop sees that this one may still have bits to reset, and waits.
    std::lock_guard guard(mLock);
    if (run.stopped) return false;
    run.holdsBits = true;
    return true;
}

bool TrialRunner::HoldWhilePaused(Play& play) {
    const RunToken& run = play.run;
    bool held = false;
    const auto wake = [&] { return !mPaused || run.stopped; };
    while (mPaused && !run.stopped) {
        held = true;
        mClock.WaitUntil(mClock.Now() + kPausePoll, wake);
    }
    if (held) play.due = mClock.Now();
    return !(held && run.stopped);
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
    if (row < 0 || row >= mItems.RowCount()) {
        ShowMessage(run_messages::kInvalidItemIndex);
        play.due = mClock.Now();
        return;
    }
    play.lastAnswered.reset();
    // One copy under one lock: the row as it stands now, whole.
    const ItemRow cells = mItems.Row(row);

    // Each step that sends ends the row when its command was not sent or failed.
    if (SendsEvent(cells) &&
        !Send(item_actions::PostEventCommand(cells[kColEventString]), JournalAction::Event, play))
        return;
    if (SetsBit(cells)) {
        const bool on = BitStateOn(cells);
        const int mask = item_actions::BitMask(item_actions::DecimalValue(cells[kColBitNumber]));
        const bool known = std::find(play.bitsOn.begin(), play.bitsOn.end(), mask) != play.bitsOn.end();
        // Remembered before sending: a command whose answer is lost may still have been carried
        // out. A mask of 0 (a negative bit number) sets nothing.
        if (on && mask != 0 && !known) {
            if (!ClaimBitBeforeSending(run)) return;
            play.bitsOn.push_back(mask);
        }
        if (!Send(item_actions::BitCommand(on, mask), JournalAction::Bit, play)) return;
        if (!on && known) {
            play.bitsOn.erase(std::find(play.bitsOn.begin(), play.bitsOn.end(), mask));
            if (play.bitsOn.empty()) run.holdsBits = false;
        }
    }
    if (SendsCommand(cells)) {
        const std::string& command = cells[kColCommand];
        if (command.find('|') == std::string::npos) {
            if (!Send(command, JournalAction::Command, play)) return;
        } else {
            const std::vector<std::string> pieces = item_actions::CommandPieces(command);
            const std::size_t piece = static_cast<std::size_t>(play.random.Next()) % pieces.size();
            if (!Send(pieces[piece], JournalAction::Command, play)) return;
        }
    }

    const auto range = item_actions::RandomDelayRange(cells[kColDelay]);
    const long long delay = range ? item_actions::RandomDelay(*range, play.random.Next())
                                  : item_actions::FixedDelay(cells[kColDelay]);
    // One absolute deadline from the end of the sends: the wait neither drifts nor
    // accumulates wake-up latencies, and the bookkeeping below is part of it.
    const RunClock::TimePoint delayStart = play.lastAnswered ? *play.lastAnswered : mClock.Now();
    const RunClock::TimePoint deadline = delayStart + std::chrono::milliseconds(delay);
    if (!mClosing) mObserver.RowStarted(play.trial, play.row, play.rowCount);
    if (play.pendingDelay) {
        if (run.journal) run.journal->Add(std::move(*play.pendingDelay));
        play.pendingDelay.reset();
    }

    const auto wake = [&] { return run.stopped.load(); };
    while (!run.stopped && mClock.Now() < deadline) mClock.WaitUntil(deadline, wake);
    const RunClock::TimePoint slept = mClock.Now();
    play.due = deadline;
    if (run.journal) {
        JournalLine line;
        line.trial = play.trial;
        line.row = play.row;
        line.action = JournalAction::Delay;
        line.text = std::to_string(delay);
        line.due = delayStart;
        line.sent = slept;
        if (run.stopped && slept < deadline) line.status = kStatusStopped;
        play.pendingDelay = std::move(line);
    }
}

bool TrialRunner::Send(const std::string& command, JournalAction action, Play& play) {
    if (play.run.stopped) return false;
    if (Exchange(command, action, play)) return true;
    if (!play.run.stopped) {
        play.failed = true;
        play.failure = mSender.LastFailure();
        play.failedCommand = command;
        play.failedTrial = play.trial;
        play.failedRow = play.row;
    }
    return false;
}

bool TrialRunner::Exchange(const std::string& command, JournalAction action, Play& play) {
    JournalLine line;
    if (play.run.journal) line.sent = mClock.Now();
    std::string answer;
    const bool ok = mSender.SendCommand(command, answer);
    line.answered = mClock.Now();
    play.lastAnswered = line.answered;
    if (!play.run.journal) return ok;
    line.trial = play.trial;
    line.row = play.row;
    line.action = action;
    line.text = command;
    line.due = play.due;
    if (!ok) line.status = run_messages::FailureStatus(mSender.LastFailure());
    Record(play, std::move(line));
    return ok;
}

void TrialRunner::Record(Play& play, JournalLine line) {
    RunJournal& journal = *play.run.journal;
    if (play.pendingDelay) {
        journal.Add(std::move(*play.pendingDelay));
        play.pendingDelay.reset();
    }
    journal.Add(std::move(line));
}

}  // namespace sequora
