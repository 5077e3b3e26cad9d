#include "tests/support/EventLog.h"

#include <algorithm>

#include "tests/support/Patience.h"

namespace testsupport {

void EventLog::Add(std::string entry) {
    {
        std::lock_guard guard(mLock);
        mEntries.push_back(std::move(entry));
    }
    mChanged.notify_all();
}

std::vector<std::string> EventLog::Entries() const {
    std::lock_guard guard(mLock);
    return mEntries;
}

std::vector<std::string> EventLog::Sends() const {
    std::vector<std::string> sends;
    for (const std::string& e : Entries())
        if (e.rfind("send ", 0) == 0) sends.push_back(e.substr(5));
    return sends;
}

bool EventLog::WaitForEntry(const std::string& entry) {
    std::unique_lock lock(mLock);
    return mChanged.wait_for(lock, kPatience, [&] {
        return std::find(mEntries.begin(), mEntries.end(), entry) != mEntries.end();
    });
}

}  // namespace testsupport
