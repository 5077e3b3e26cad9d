#pragma once

#include <cstdint>
#include <string>

namespace comlux_python {

/// Reads back what the client library wrote to its log, so that a failure can be reported
/// with the log's own words. Without a path of the user's the log goes to a file that is
/// removed at once and lives only as long as the open descriptors.
///
/// Threads: the script's thread only.
class LogTail {
public:
    LogTail() = default;
    ~LogTail();
    LogTail(const LogTail&) = delete;
    LogTail& operator=(const LogTail&) = delete;

    /// Makes a private file for the log; its path is Path() until Forget() is called. False
    /// (with the reason in `error`) when none can be made.
    bool CreatePrivate(std::string& error);
    /// Follows the file at `path`, which the library has just opened.
    bool Follow(const std::string& path);
    /// Removes the private file's name; the open descriptors keep the file itself.
    void Forget();
    /// The log file's path.
    const std::string& Path() const { return mPath; }
    /// The end of the file now: what is written after this is new.
    std::int64_t Mark() const;
    /// What the log says went wrong since `mark`: the messages of its fatal, error and warning
    /// lines, or else of its notices that say something failed; without level and time, at most
    /// three, joined by "; "; empty when there is none.
    std::string ProblemsSince(std::int64_t mark) const;

private:
    int mFd = -1;           // read descriptor of the log file, -1 when none
    std::string mPath;      // the file's path
    bool mPrivate = false;  // true while the private file's name still exists
};

}  // namespace comlux_python
