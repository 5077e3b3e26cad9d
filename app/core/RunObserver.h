#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "app/core/CommandSender.h"
#include "app/core/RealtimeGrant.h"

namespace sequora {

/// How a run ended.
enum class RunEnd {
    Completed,       ///< every trial was played
    Stopped,         ///< Stop (or Ctrl-C) ended it
    ConnectionLost,  ///< a command could not be sent or answered (RunEndInfo::failure says why)
    Closed           ///< the host closed while it ran
};

/// The word for a run's end in the run journal and in status texts: "completed", "stopped",
/// "connection lost" or "closed".
const char* RunEndWord(RunEnd how);

/// A run as its worker begins it.
struct RunStartInfo {
    std::uint32_t seed = 0;   ///< the seed of the run's random draws (replay it with this)
    int trialCount = 0;       ///< the trial count as the run starts (read again before each trial)
    bool continuous = false;  ///< the trials repeat until Stop; trialCount does not count
    std::string journalPath;  ///< the run journal being written, empty when none
    RealtimeGrant realtime;   ///< what the worker was granted to keep its timing
};

/// A run as it ended.
struct RunEndInfo {
    RunEnd how = RunEnd::Completed;
    long long trial = 0;  ///< the trial (1-based) it ended in, 0 when none was begun
    int row = 0;          ///< the row (1-based) it ended at, 0 when none was begun
    /// For a run that ended because a command failed, the one message saying what happened,
    /// where and why (also shown through ShowMessage); empty otherwise.
    std::string message;
    /// Why the command failed, for a run that ended as ConnectionLost. With AnswerUnreadable the
    /// connection itself is still up.
    SendFailure failure = SendFailure::ConnectionLost;
    std::chrono::nanoseconds elapsed{0};  ///< from the run's start to its end
    std::string timing;                   ///< the run's timing summary, the journal's "# timing" line
};

/// What the host of a trial runner (the window or sequora-run) does for the worker.
///
/// Threads: ShowMessage and ControlsChanged block the caller until the host has dealt with
/// them, so the host must not wait on its own thread for a call in progress while it destroys
/// the runner: the runner's destructor joins the worker, which may be inside one of these
/// calls. RunStarted, RowStarted and RunEnded come on the worker thread and must return at
/// once (a window posts them to its own thread); they have empty defaults. No call is made
/// once the host has begun to close the runner (TrialRunner::Close or its destructor).
class RunObserver {
public:
    virtual ~RunObserver() = default;

    /// Shows one of the runner's messages ("Trials Completed", "Error Processing Item,
    /// invalid Item Index", "Error creating thread in OnBnClickedStart()", a failed send's
    /// "Run stopped: ..." message, a journal that cannot be written) and returns when the
    /// user has seen it. Called on the worker thread, except the messages of a refused Start,
    /// which come on the thread that called Start.
    virtual void ShowMessage(const std::string& text) = 0;

    /// The worker has carried out the Stop operation at the end of its last trial (or after a
    /// failed send); the host applies TrialRunner::Controls() to its controls on its own
    /// thread. Called on the worker thread only; operations called by the host itself do not
    /// come back here (the host reads Controls() after calling them).
    virtual void ControlsChanged() = 0;

    /// The worker is about to play trial `trial` (1-based) of `count` (count is 0 when
    /// running continuously). Default: nothing; sequora-run prints its progress here.
    virtual void TrialStarting(long long trial, int count) {
        (void)trial;
        (void)count;
    }

    /// The run's worker has begun: its seed, trial count, journal and real-time grant.
    /// Comes once per run, before any command is sent.
    virtual void RunStarted(const RunStartInfo& info) { (void)info; }

    /// Row `row` (1-based) of `rowCount` in trial `trial` (1-based) is being played: its
    /// commands have been sent and its delay begins. (Reported after the sends so that the
    /// report never stands between a delay's end and the next command.)
    virtual void RowStarted(long long trial, int row, int rowCount) {
        (void)trial;
        (void)row;
        (void)rowCount;
    }

    /// The run is over: how, where and after how long. Comes once per run, after the resets of
    /// a Safe Stop and the journal's last line, and before the run's closing message (if any)
    /// is shown.
    virtual void RunEnded(const RunEndInfo& info) { (void)info; }
};

}  // namespace sequora
