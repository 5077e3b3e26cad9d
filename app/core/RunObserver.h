#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

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

/// Where a run is. Every report names its run, so that a host showing a newer run can tell an
/// old run's late report from its own.
struct RunPosition {
    std::uint64_t run = 0;  ///< the run's number: 1 for the runner's first run, then counting up
    long long trial = 0;    ///< 1-based, 0 before the first trial
    int row = 0;            ///< 1-based, 0 before the trial's first row
    int rowCount = 0;       ///< rows in the list as the trial began
    int trialCount = 0;     ///< trials of the run, 0 when running continuously
};

/// A TTL bit whose reset could not be confirmed when its run ended, and why.
struct UnconfirmedBit {
    int bit = 0;
    std::string reason;  ///< e.g. "the connection to the server was lost"

    bool operator==(const UnconfirmedBit&) const = default;
};

/// A run as its worker begins it.
struct RunStartInfo {
    std::uint64_t run = 0;    ///< the run's number (RunPosition::run)
    std::uint32_t seed = 0;   ///< the seed of the run's random draws (replay it with this)
    int trialCount = 0;       ///< the trial count as the run starts (read again before each trial)
    bool continuous = false;  ///< the trials repeat until Stop; trialCount does not count
    std::string journalPath;  ///< the run journal being written, empty when none
    RealtimeGrant realtime;   ///< what the worker was granted to keep its timing
};

/// A run as it ended.
struct RunEndInfo {
    std::uint64_t run = 0;  ///< the run's number (RunPosition::run)
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
    /// The bits the run's Stop reset and saw answered, in the order they were set.
    std::vector<int> resetBits;
    /// The bits it set on and could not confirm off (not sent, or not answered), in that order.
    std::vector<UnconfirmedBit> unconfirmedBits;
    /// Empty, or why the journal is incomplete: `Journal stopped at trial 3, row 2: <reason>`.
    std::string journalFailure;
};

/// What the host of a trial runner (the window or sequora-run) does for the worker.
///
/// Threads: ShowMessage and ControlsChanged block the caller until the host has dealt with
/// them, so the host must not wait on its own thread for a call in progress while it destroys
/// the runner: the runner's destructor joins the worker, which may be inside one of these
/// calls. RunStarted, TrialStarting, RowStarted, PauseHeld, ResetsStarting and RunEnded come
/// on the worker thread, JournalStopped on the journal's; they must return at once (a window
/// posts them to its own thread, and drops those of a run it no longer shows); they have empty
/// defaults. No call is made
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

    /// The worker is about to play trial `at.trial` of `at.trialCount` (0 when running
    /// continuously). Default: nothing; sequora-run prints its progress here.
    virtual void TrialStarting(const RunPosition& at) { (void)at; }

    /// The run's worker has begun: its seed, trial count, journal and real-time grant.
    /// Comes once per run, before any command is sent.
    virtual void RunStarted(const RunStartInfo& info) { (void)info; }

    /// Row `at.row` of `at.rowCount` in trial `at.trial` is being played: its commands have been
    /// sent and its delay begins. (Reported after the sends so that the report never stands
    /// between a delay's end and the next command.) Default: the form without the run's number.
    virtual void RowStarted(const RunPosition& at) { RowStarted(at.trial, at.row, at.rowCount); }
    /// RowStarted for hosts that show one run only.
    virtual void RowStarted(long long trial, int row, int rowCount) {
        (void)trial;
        (void)row;
        (void)rowCount;
    }

    /// The worker holds in a pause after row `at.row` (`held`), or goes on after one (!held).
    /// A Stop while held ends the run without a "going on" report.
    virtual void PauseHeld(const RunPosition& at, bool held) {
        (void)at;
        (void)held;
    }

    /// A stopping run is about to reset these bits, in this order, each awaiting its answer.
    /// Comes only when there is a bit to reset; the outcome is in RunEndInfo.
    virtual void ResetsStarting(std::uint64_t run, const std::vector<int>& bits) {
        (void)run;
        (void)bits;
    }

    /// The run's journal could not be written on: `message` says where it stopped and why.
    /// Comes once, at once, on the journal's writing thread (a host passes it to its own
    /// thread); the run goes on, and RunEndInfo::journalFailure repeats it.
    virtual void JournalStopped(std::uint64_t run, const std::string& message) {
        (void)run;
        (void)message;
    }

    /// The run is over: how, where and after how long. Comes once per run, after the resets of
    /// a Safe Stop and the journal's last line, and before the run's closing message (if any)
    /// is shown.
    virtual void RunEnded(const RunEndInfo& info) { (void)info; }
};

}  // namespace sequora
