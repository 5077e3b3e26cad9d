#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/core/CommandSender.h"
#include "app/core/ItemList.h"
#include "app/core/RowPlan.h"
#include "app/core/RunClock.h"
#include "app/core/RunJournal.h"
#include "app/core/RunObserver.h"
#include "app/core/RunRecorder.h"

namespace sequora {

/// The states of the run's controls in the window: Start, the Pause/Continue button's
/// caption, the five list-editing buttons, the trial-count field and Run Continuously.
struct RunControls {
    bool startEnabled = true;            ///< Start button enabled
    std::string pauseCaption = "Pause";  ///< "Pause" or "Continue"
    bool listButtonsEnabled = true;      ///< Add, Remove All, Remove Current, Move Up/Down
    bool trialCountReadOnly = false;     ///< trial-count field read-only
    bool runContinuouslyEnabled = true;  ///< Run Continuously check box enabled

    bool operator==(const RunControls&) const = default;
};

/// Plays the item list as trials on a worker thread. The worker plans the rows once as it
/// starts (ListPlan) and plays the plans: each row's command texts are sent through the
/// CommandSender, then its delay is slept. A row the list changed since it was planned is read
/// and planned again when its turn comes, so an edit applies from the row's next turn. The
/// window (or sequora-run) forwards its Start, Pause/Continue, Stop and Run Continuously
/// controls here and reads Controls() afterwards.
///
/// A run ends in one of four ways (RunEnd): its trials are done; Stop; a command that could
/// not be sent or answered, which ends the run at once with one message saying where and why;
/// or the host closing. Every way but completion resets the TTL bits the run set on and did
/// not reset (Safe Stop, RunBits): one reset per bit, in the order set, each awaiting its own
/// answer within the sender's answer deadline; RunEndInfo names the bits reset and those it
/// could not confirm (no connection, or no answer).
///
/// Each run draws its random delays and "|" pieces from one generator seeded once (SetSeed,
/// or from the clock), may write a journal of every command and delay (SetJournal), and may
/// ask for real-time scheduling (SetRealtime). The runner decides what is sent and when a run
/// ends; its RunRecorder sends, times the exchanges and delays and writes the journal.
///
/// Each run has its own stop token and number: Stop ends that run only, wakes its delay at once
/// and no further command is sent by it except its resets, so a new Start never shares its run
/// with an old worker. A new run's first command waits until every earlier run has sent its
/// last command and had it answered, resets included (a late reset could otherwise undo the
/// new run's own settings). Every report to the observer carries the run's number.
///
/// Threads: the control operations run on the host's thread; one worker thread per run plans
/// the rows, calls the observer and, through the run's RunRecorder, the sender and the clock. The run flags
/// are atomic; mLock guards the controls, the settings for the next run and the list of workers; each run's
/// RunBits has its own lock, taken inside mLock (Stop, BitsNotConfirmed) and never the other way round. The
/// runner references the list, sender, observer and clock it is given; they must outlive it.
/// Destroying the runner closes it.
class TrialRunner {
public:
    TrialRunner(ItemList& items, CommandSender& sender, RunObserver& observer, RunClock& clock);
    /// Close().
    ~TrialRunner();
    TrialRunner(const TrialRunner&) = delete;
    TrialRunner& operator=(const TrialRunner&) = delete;

    /// Starts a run unless one is running or paused. `readForm` is called once the run is
    /// marked running and before the worker starts (the window reads its form there and
    /// calls SetTrialCount, SetJournal, ...). Returns true when a worker was started; a
    /// journal that cannot be opened or a worker that cannot be created is reported through
    /// ShowMessage on the calling thread and starts nothing. Start does not look at the
    /// connection: a host that must not start without one asks CommandSender::Connected()
    /// first and shows run_messages::kStartNeedsConnection (a run started without one ends at
    /// its first command with the failed-send message).
    bool Start(const std::function<void()>& readForm = {});
    /// Pause when running, Continue when paused; nothing when idle.
    void PauseContinue();
    /// Stops the current run (if any) and restores the idle control states.
    void Stop();
    /// Ends the runner because its host closes: a run under way ends as "closed" (with its
    /// Safe Stop), the observer hears nothing more, and Close returns when every worker has
    /// ended. No run starts afterwards.
    void Close();
    /// Sets whether trials repeat until Stop; the trial-count field is read-only while set.
    void SetRunContinuously(bool continuously);
    /// Sets the number of trials of the next run (read afresh before every trial).
    void SetTrialCount(int count);
    /// The seed of the following runs; nullopt (the default): each run takes a fresh seed
    /// from the clock. The seed used is reported by RunObserver::RunStarted and the journal.
    void SetSeed(std::optional<std::uint32_t> seed);
    /// The journal of the following runs (an empty path: none). Start opens it as its mode
    /// says and writes its header.
    void SetJournal(JournalSettings settings);
    /// The journal of the next run only, opened and headed already (sequora-run opens it before
    /// connecting); `path` is what RunStartInfo reports. Takes the place of SetJournal's once.
    void SetOpenedJournal(std::unique_ptr<RunJournal> journal, std::string path);
    /// Whether the following runs' workers ask for real-time treatment (RealtimeHold).
    void SetRealtime(bool enabled);

    /// The control states to show now.
    RunControls Controls() const;
    /// A run is under way (true from Start until Stop).
    bool Running() const { return mRunning.load(); }
    /// The run holds after its current item.
    bool Paused() const { return mPaused.load(); }
    /// The trial count.
    int TrialCount() const { return mTrialCount.load(); }
    /// Whether trials repeat until Stop.
    bool RunContinuously() const { return mRunContinuously.load(); }
    /// Waits until every worker has ended (for hosts that must not exit before, and tests).
    void WaitForWorkers();
    /// The bits that runs still under way have set on and not yet seen reset (their resets may
    /// be going out now), in the order set: what a host abandoning the runner names.
    std::vector<int> BitsNotConfirmed() const;

private:
    struct RunToken;
    struct Play;
    struct Worker {
        std::thread thread;
        std::shared_ptr<RunToken> run;
    };
    // How PlayTrials left off.
    enum class Ending { Completed, Stopped, SendFailed };

    // The worker thread keeps its own copy of `run` for as long as this runs.
    void RunTrials(const std::shared_ptr<RunToken>& run);
    std::string OpenJournal(RunToken& run);
    void WaitForEarlierRuns(RunToken& run);
    void BeginRun(Play& play, const RealtimeGrant& grant);
    Ending PlayTrials(Play& play);
    std::string FinishRun(Play& play, Ending ending);
    void SafeStop(Play& play, RunEndInfo& info);
    RunPosition Position(const Play& play) const;
    bool HoldWhilePaused(Play& play);
    void WaitWhileNothingToPlay(const RunToken& run);
    void ProcessItem(int row, Play& play);
    bool SendRow(const RowPlan& plan, Play& play);
    bool Send(const std::string& command, JournalAction action, Play& play);
    void ShowMessage(const std::string& text);
    bool StopRun(const RunToken& run);
    void StopLocked();
    void JoinFinishedWorkersLocked();

    ItemList& mItems;
    CommandSender& mSender;
    RunObserver& mObserver;
    RunClock& mClock;

    std::atomic<bool> mRunning{false};          // written by Start, Stop (host or worker)
    std::atomic<bool> mPaused{false};           // written by PauseContinue, Stop (host or worker)
    std::atomic<int> mTrialCount{1};            // written by SetTrialCount (host thread)
    std::atomic<bool> mRunContinuously{false};  // written by SetRunContinuously (host thread)
    std::atomic<bool> mClosing{false};          // written by Close (host thread)

    mutable std::mutex mLock;              // guards everything below
    std::condition_variable mSendingDone;  // a run sent its last command, or a run was stopped
    RunControls mControls;
    std::optional<std::uint32_t> mSeed;
    JournalSettings mJournal;
    std::unique_ptr<RunJournal> mOpenedJournal;  // SetOpenedJournal's, until a Start takes it
    std::string mOpenedJournalPath;
    std::uint64_t mRunsStarted = 0;
    bool mRealtime = false;
    std::shared_ptr<RunToken> mCurrentRun;  // the live run, null when idle
    std::vector<Worker> mWorkers;           // every worker not yet joined
};

}  // namespace sequora
