#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/core/CommandSender.h"
#include "app/core/RunBits.h"
#include "app/core/RunClock.h"
#include "app/core/RunJournal.h"
#include "app/core/RunObserver.h"

namespace sequora {

/// Where a run's journal goes and what its start line names.
struct JournalSettings {
    std::string path;                         ///< the journal file; empty: no journal
    std::string server;                       ///< the server's name
    std::string listFile;                     ///< the item list's file, if it came from one
    JournalOpen mode = JournalOpen::Replace;  ///< CreateNew: Start refuses a file that exists
};

/// Where in a run an action stands: what its journal line names.
struct RunPlace {
    long long trial = 0;  ///< 1-based
    int row = 0;          ///< 1-based
};

/// Times one run's exchanges and delays and journals them: when each action was due, sent and
/// answered, how long each delay slept, and whether it was cut short by a Stop. Keeps the run's
/// schedule: a row's delay runs from its last answer to one absolute deadline, and the next
/// action is due at that deadline, so waits neither drift nor add up their wake-up latencies.
///
/// A delay's line is held back until the next command has been sent (or the run ends), so
/// that journaling never stands between a delay's end and that command. Without a journal
/// the exchanges and delays are timed all the same and nothing is written. A Safe Stop's
/// resets go out through Resets, timed and journaled like the run's other commands.
///
/// Threads: one run's worker thread only, from construction to Finish. The journal, sender,
/// clock and stop flag belong to the run and must outlive the recorder.
class RunRecorder {
public:
    class Resets;

    /// The deadline of one row's delay and where it began.
    struct DelayTimes {
        RunClock::TimePoint start{};     ///< the row's last answer, or when the delay was drawn
        RunClock::TimePoint deadline{};  ///< start + the delay
    };

    /// Opens a run's journal as `settings` say and writes `header` (naming the settings' server
    /// and list file); with an empty path, one that writes no file and only gathers the run's
    /// timing. Null, with the message that refuses the run, when the file cannot be written.
    static std::unique_ptr<RunJournal> OpenJournal(const JournalSettings& settings, JournalHeader header,
                                                   std::string& refusal);

    /// `journal` may be null (no journal); `stopped` is the run's stop flag, which cuts a
    /// delay short.
    RunRecorder(RunJournal* journal, CommandSender& sender, RunClock& clock,
                const std::atomic<bool>& stopped);
    RunRecorder(const RunRecorder&) = delete;
    RunRecorder& operator=(const RunRecorder&) = delete;

    /// The run's time zero: the first action is due now, and the journal counts from here.
    void Begin(RunClock::TimePoint start);
    /// The next action is due now (after a pause, a row that could not be played, before the
    /// resets), not at the deadline of the last delay.
    void DueNow();
    /// A row's sends begin: its delay will start at the last of their answers.
    void RowStarting();
    /// Sends one command through the sender and waits for its answer, timed and journaled;
    /// true when it was answered. A command refused for want of a connection is journaled as
    /// never sent.
    bool Exchange(const std::string& command, JournalAction action, RunPlace place);
    /// Journals a command that never went out.
    void RecordNotSent(const std::string& command, JournalAction action, SendFailure failure, RunPlace place);
    /// The deadline of a delay of `delayMs` from the row's last answer (or from now, when the
    /// row sent nothing).
    DelayTimes DelayAfterRow(long long delayMs) const;
    /// Writes the previous delay's held line, sleeps until the deadline or the run's Stop,
    /// then holds this delay's line; the next action is due at the deadline.
    void SleepDelay(const DelayTimes& times, long long delayMs, RunPlace place);
    /// Writes the held delay's line and the journal's closing lines, and closes it; fills in
    /// the journal's failure and timing summary.
    void Finish(RunEnd how, RunClock::TimePoint end, RunEndInfo& info);

private:
    friend class Resets;

    JournalLine CommandLine(const std::string& command, JournalAction action, RunPlace place) const;
    void Record(JournalLine line);
    void WriteHeldDelay();

    RunJournal* const mJournal;         // the run's journal, null when it writes none
    CommandSender& mSender;             // the run's way to the server
    RunClock& mClock;                   // the run's clock
    const std::atomic<bool>& mStopped;  // the run's stop flag, written by its Stop (any thread)
    RunClock::TimePoint mDue{};         // worker thread: when the next action is meant to start
    std::optional<RunClock::TimePoint> mLastAnswered;  // worker thread: the row's last exchange was over
    std::optional<JournalLine> mHeldDelay;  // worker thread: the last delay's line, not yet written
};

/// The Safe Stop's way out through a run's recorder: its resets are sent, timed and journaled
/// as the run's bit commands where the run stopped. `starting` hears the bits about to be reset
/// first; the resets are then due at once.
class RunRecorder::Resets : public ResetChannel {
public:
    using StartingHandler = std::function<void(const std::vector<int>& bits)>;

    Resets(RunRecorder& recorder, RunPlace place, StartingHandler starting);

    void ResetsStarting(const std::vector<int>& bits) override;
    bool Connected() override;
    bool Exchange(const std::string& command) override;
    void NotSent(const std::string& command) override;
    SendFailure LastFailure() const override;

private:
    RunRecorder& mRecorder;     // the run's recorder; worker thread only
    const RunPlace mPlace;      // where the run stopped
    StartingHandler mStarting;  // called on the worker thread
};

}  // namespace sequora
