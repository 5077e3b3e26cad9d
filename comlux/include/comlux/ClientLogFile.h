#pragma once

#include <functional>
#include <string>

#include "comlux/ComluxExport.h"

namespace comlux {

/// Severity of a log entry; any other value is written as UNKNOWN.
// The names programs on the library write (comlux::Error), so they keep the API's spelling.
// NOLINTNEXTLINE(readability-identifier-naming)
enum LogLevel : int { Fatal = 0, Error = 1, Warning = 2, Notice = 3, Data = 4 };

/// Local calendar time down to the millisecond.
struct LocalTime {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

/// The client library's diagnostic log: a banner, one time-stamped line per entry,
/// a closing line. Lines end with CR LF on disk and are flushed one by one.
/// Threads: entries may come from any thread; a lock inside keeps lines whole and in order.
class COMLUX_EXPORT ClientLogFile {
public:
    using Clock = std::function<LocalTime()>;

    ClientLogFile();
    ~ClientLogFile();
    ClientLogFile(const ClientLogFile&) = delete;
    ClientLogFile& operator=(const ClientLogFile&) = delete;

    /// Opens (truncates) the file and writes the banner; closes an open one first. 0 or -1.
    int OpenLogFile(const std::string& fileName);
    /// Writes the closing line and closes the file; -1 when none is open.
    int CloseLogFile();
    /// Writes "<prefix> <hh:mm:ss.mmm> - <message>"; -1 (entry dropped) when no file is open.
    int WriteEntry(int level, const std::string& message);
    /// Writes the text and a line end; -1 when no file is open.
    int WriteText(const std::string& text);

    /// Replaces the local clock; tests use it to pin time stamps.
    void SetClock(Clock clock);

    /// The prefix for a level, ending with one blank.
    static const char* LevelPrefix(int level);
    /// "hh:mm:ss.mmm" with leading zeros, as in entry lines.
    static std::string FormatEntryTime(const LocalTime& t);
    /// The banner's time line, numbers without leading zeros.
    static std::string FormatBannerTime(const LocalTime& t);
    /// The local clock now.
    static LocalTime Now();

private:
    class Impl;
    // Owned: created by the constructor, deleted by the destructor. A plain pointer keeps the
    // class one pointer wide whatever the implementation holds, so callers built against this
    // header keep working when it changes.
    Impl* const mImpl;
};

}  // namespace comlux
