#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "app/core/RunClock.h"
#include "app/core/RunObserver.h"

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
    bool wentOut = true;             ///< false: never sent; neither time is written then
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

/// How Open treats a file that exists already.
enum class JournalOpen {
    Replace,   ///< a regular file is emptied and written anew
    CreateNew  ///< a regular file that exists is refused (a pipe or device is written to)
};

/// Writes a run journal: tab-separated, LF line ends, each line written out as it comes.
///
///     # sequora run journal
///     # started 2024-05-01T14:03:22.123+02:00  server rig  file /x.cfg  seed 7  trials 5
///     trial	row	action	text	due_ms	sent_ms	answered_ms	status
///     1	1	event	 -PostEvent "Tone on" 0 0	0.000	0.012	0.049	ok
///     1	1	delay	200	0.049	200.051		ok
///     # ended completed  after 200.051 ms
///
/// Times are milliseconds since the run's start on the monotonic clock, three decimals. A tab,
/// CR or LF inside a text is written as \t, \r or \n so that every record stays one line.
///
/// The header is written by Open itself, so a journal that cannot be written is known before
/// the run begins. A write that fails later, or a sink that stops taking lines until
/// kMaxQueuedBytes wait for it, ends the journal there: it is declared failed once (Failure(),
/// and the handler given to Open), and what comes later is dropped, so a stalled reader never
/// grows the process nor holds up the run. Close gives a stalled sink kCloseGrace, then gives up.
///
/// Threads: one thread (the run's worker) queues lines; a writing thread of the journal's own
/// formats and writes them, so queuing costs the worker a lock and a move, never a write. The
/// memory of written lines is handed back and freed by the queuing thread, so the writing
/// thread never holds an allocator lock the worker needs. The failure handler runs on the
/// writing thread, without the lock.
class RunJournal {
public:
    /// Called once when the journal stops, with `Journal stopped at trial 3, row 2: <reason>`.
    using FailureHandler = std::function<void(const std::string& message)>;

    /// The most the queue may hold before the journal is declared failed.
    static constexpr std::size_t kMaxQueuedBytes = 16u * 1024u * 1024u;
    /// How long Close waits for a sink that takes nothing.
    static constexpr std::chrono::milliseconds kCloseGrace{1000};

    RunJournal() = default;
    /// Close().
    ~RunJournal();
    RunJournal(const RunJournal&) = delete;
    RunJournal& operator=(const RunJournal&) = delete;

    /// Opens the file as `mode` says, writes the header's three lines and starts the writing
    /// thread; false with the system's reason when the file cannot be opened or the header
    /// not written (a file this call created is removed again).
    bool Open(const std::string& path, JournalOpen mode, const JournalHeader& header, std::string& reason);
    /// Sets the handler of a later failure (before Begin).
    void OnFailure(FailureHandler handler);
    /// The times of later lines count from `runStart`.
    void Begin(RunClock::TimePoint runStart);
    /// Queues one line.
    void Add(JournalLine line);
    /// Queues the closing line: how the run ended and when.
    void End(RunEnd how, RunClock::TimePoint at);
    /// Writes out everything queued (or gives up, see above), closes the file and ends the
    /// writing thread.
    void Close();
    /// Empty, or the message of the failure that stopped the journal.
    std::string Failure() const;

    /// "2024-05-01T14:03:22.123+02:00": local time with milliseconds and the offset from UTC.
    static std::string IsoLocalTime(std::chrono::system_clock::time_point time);

private:
    struct Ending {
        RunEnd how;
        RunClock::TimePoint at;
    };
    struct Beginning {
        RunClock::TimePoint runStart;
    };
    using Entry = std::variant<Beginning, JournalLine, Ending>;

    void Queue(Entry entry);
    void WriteAll();
    bool WriteOut(const std::string& text, std::string& reason);
    bool AwaitSink(std::chrono::steady_clock::time_point& giveUpAt);
    void Fail(long long trial, int row, const std::string& reason);
    void WakeWriter();
    std::string Format(const Entry& entry);

    int mFd = -1;                     // written by Open and Close; used by the writing thread between
    int mWakeFd = -1;                 // an eventfd that wakes the writing thread out of a wait for the sink
    RunClock::TimePoint mRunStart{};  // written by the writing thread
    long long mTrial = 0;             // writing thread: the position of the last line taken
    int mRow = 0;                     // writing thread
    FailureHandler mOnFailure;        // written before Begin, then called by the writing thread
    std::thread mWriter;
    mutable std::mutex mLock;  // guards the members below
    std::condition_variable mQueued;
    std::vector<Entry> mQueue;  // queued, not yet taken by the writing thread
    std::vector<Entry> mSpent;  // written, handed back to be freed by the queuing thread
    std::size_t mQueuedBytes = 0;
    bool mClosing = false;
    std::string mFailure;  // set once, by whichever thread finds the journal failed
};

}  // namespace sequora
