#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace testsupport {

/// Everything a trial run did, in order, as one text per event: "send <text>", "wait <ms>",
/// "message <text>", "controls". Any thread may add; tests read and wait.
class EventLog {
public:
    /// Appends one entry and wakes the waiters.
    void Add(std::string entry);
    /// A copy of every entry so far.
    std::vector<std::string> Entries() const;
    /// The texts of the "send" entries, without their prefix.
    std::vector<std::string> Sends() const;
    /// Waits (at most kPatience) until the entry is there; false when it does not come.
    bool WaitForEntry(const std::string& entry);

private:
    mutable std::mutex mLock;  // guards mEntries
    std::condition_variable mChanged;
    std::vector<std::string> mEntries;
};

}  // namespace testsupport
