#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/core/CommandSender.h"
#include "app/core/ItemList.h"
#include "app/core/RunClock.h"
#include "app/core/RunObserver.h"

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

/// Plays the item list as trials on a worker thread: every row's actions become command
/// texts sent through the CommandSender, then the row's delay is slept. The window (or
/// sequora-run) forwards its Start, Pause/Continue, Stop and Run Continuously controls
/// here and reads Controls() afterwards.
///
/// Each run has its own stop token: Stop ends that run only, wakes its delay at once and
/// no further command is sent by it, so a new Start never shares its run with an old
/// worker. The runner references the list, sender, observer and clock it is given; they
/// must outlive it. Destroying the runner stops the run and joins every worker.
class TrialRunner {
public:
    TrialRunner(ItemList& items, CommandSender& sender, RunObserver& observer, RunClock& clock);
    ~TrialRunner();
    TrialRunner(const TrialRunner&) = delete;
    TrialRunner& operator=(const TrialRunner&) = delete;

    /// Starts a run unless one is running or paused. `readForm` is called once the run is
    /// marked running and before the worker starts (the window reads its form there and
    /// calls SetTrialCount). Returns true when a worker was started.
    bool Start(const std::function<void()>& readForm = {});
    /// Pause when running, Continue when paused; nothing when idle.
    void PauseContinue();
    /// Stops the current run (if any) and restores the idle control states.
    void Stop();
    /// Sets whether trials repeat until Stop; the trial-count field is read-only while set.
    void SetRunContinuously(bool continuously);
    /// Sets the number of trials of the next run (read afresh before every trial).
    void SetTrialCount(int count);

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

private:
    struct RunToken;
    struct Worker {
        std::thread thread;
        std::shared_ptr<RunToken> run;
    };

    void RunTrials(std::shared_ptr<RunToken> run);
    void PlayTrials(RunToken& run);
    bool HoldWhilePaused(const RunToken& run);
    void WaitWhileNothingToPlay(const RunToken& run);
    void ProcessItem(int row, const RunToken& run);
    void Send(const std::string& command, const RunToken& run);
    void SleepDelay(long long milliseconds, const RunToken& run);
    int DrawRandom();
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
    std::atomic<bool> mClosing{false};          // written by the destructor (host thread)

    mutable std::mutex mLock;  // guards everything below
    RunControls mControls;
    std::shared_ptr<RunToken> mCurrentRun;  // the live run, null when idle
    std::vector<Worker> mWorkers;           // every worker not yet joined
};

}  // namespace sequora
