#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "app/core/RunClock.h"
#include "app/core/RunObserver.h"
#include "app/core/TimingSummary.h"

namespace sequora {

/// What a journal line records.
enum class JournalAction { Event, Bit, Command, Delay };

/// One line of a run journal: a command sent or a delay waited.
struct JournalLine {
    long long trial = 0;  ///< 1-based
    int row = 0;          ///< 1-based
    JournalAction action = JournalAction::Event;
    std::string text;                ///< the command exactly as sent, or the delay waited in ms
    RunClock::TimePoint due{};       ///< when the action was meant to start
    RunClock::TimePoint sent{};      ///< when the command was handed over, or the sleep ended
    RunClock::TimePoint answered{};  ///< when the exchange was over (not for a delay)
    const char* status = "ok";       ///< "ok" or the failure, a text that lives forever
};

/// The facts of the journal's "# started" line.
struct JournalHeader {
    std::chrono::system_clock::time_point started{};  ///< the run's start on the calendar
    std::string server;                               ///< the server's name
    std::string listFile;                             ///< the item list's file ("-" when empty)
    std::uint32_t seed = 0;
    int trials = 0;           ///< the trial count, unless continuous
    bool continuous = false;  ///< written as "trials continuous"
};

/// Writes a run journal: tab-separated, LF line ends, each line flushed as it is written.
///
///     # sequora run journal
///     # started 2024-05-01T14:03:22.123+02:00  server rig  file /x.cfg  seed 7  trials 5
///     trial	row	action	text	due_ms	sent_ms	answered_ms	status
///     1	1	event	 -PostEvent "Tone on" 0 0	0.000	0.012	0.049	ok
///     1	1	delay	200	0.049	200.051		ok
///     # timing  lateness_ms median 0 p99 0 max 0  answer_ms median 0.037 p99 0.037 max ...
///     # ended completed  after 200.051 ms
///
/// Times are milliseconds since the run's start on the monotonic clock, three decimals. A tab,
/// CR or LF inside a text is written as \t, \r or \n so that every record stays one line.
///
/// Threads: one thread (the run's worker) queues lines; a writing thread of the journal's own
/// formats and writes them, so queuing costs the worker a lock and a move, never a write. The
/// memory of written lines is handed back and freed by the queuing thread, so the writing
/// thread never holds an allocator lock the worker needs. Close (or the destructor) waits
/// until everything queued is written.
class RunJournal {
public:
    RunJournal() = default;
    /// Close().
    ~RunJournal();
    RunJournal(const RunJournal&) = delete;
    RunJournal& operator=(const RunJournal&) = delete;

    /// Opens (replaces) the file and starts the writing thread; false with the system's
    /// reason when the file cannot be opened. An empty path writes no file: the journal then
    /// only gathers the run's timing.
    bool Open(const std::string& path, std::string& reason);
    /// Queues the three header lines; the times of later lines count from `runStart`.
    void Begin(const JournalHeader& header, RunClock::TimePoint runStart);
    /// Queues one line.
    void Add(JournalLine line);
    /// Queues the closing lines: the timing summary, then how the run ended and when.
    void End(RunEnd how, RunClock::TimePoint at);
    /// Writes out everything queued, closes the file and ends the writing thread.
    void Close();

    /// "2024-05-01T14:03:22.123+02:00": local time with milliseconds and the offset from UTC.
    /// The timing line written before the closing line ("# timing  lateness_ms ..."); empty
    /// until Close has written it.
    std::string Timing() const;

    static std::string IsoLocalTime(std::chrono::system_clock::time_point time);

private:
    struct Ending {
        RunEnd how;
        RunClock::TimePoint at;
    };
    struct Beginning {
        JournalHeader header;
        RunClock::TimePoint runStart;
    };
    using Entry = std::variant<Beginning, JournalLine, Ending>;

    void Queue(Entry entry);
    void WriteAll();
    std::string Format(const Entry& entry);

    std::FILE* mFile = nullptr;       // written by the writing thread between Open and Close
    RunClock::TimePoint mRunStart{};  // written by the writing thread
    JournalTally mTally;              // written by the writing thread
    std::string mTimingLine;          // written by the writing thread, read after Close
    std::thread mWriter;
    std::mutex mLock;  // guards the three members below
    std::condition_variable mQueued;
    std::vector<Entry> mQueue;  // queued, not yet taken by the writing thread
    std::vector<Entry> mSpent;  // written, handed back to be freed by the queuing thread
    bool mClosing = false;
};

}  // namespace sequora
