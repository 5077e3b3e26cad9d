#include "tests/support/VirtualClock.h"

#include <algorithm>
#include <string>

#include "tests/support/Patience.h"

namespace testsupport {

void VirtualClock::SetAutomatic(bool automatic) {
    std::lock_guard guard(mLock);
    mAutomatic = automatic;
}

VirtualClock::TimePoint VirtualClock::Now() {
    std::lock_guard guard(mLock);
    return mNow;
}

std::chrono::system_clock::time_point VirtualClock::CalendarNow() {
    std::lock_guard guard(mLock);
    return std::chrono::system_clock::time_point(
        kCalendarStart +
        std::chrono::duration_cast<std::chrono::system_clock::duration>(mNow.time_since_epoch()));
}

bool VirtualClock::WaitUntil(TimePoint deadline, const WakeCondition& wake) {
    std::unique_lock lock(mLock);
    if (wake()) return true;
    mLog.Add("wait " +
             std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - mNow).count()));
    if (mAutomatic) {
        mNow = std::max(mNow, deadline);
        return wake();
    }
    ++mWaitsBegun;
    mDeadlines.push_back(deadline);
    mChanged.notify_all();
    mChanged.wait(lock, [&] { return mNow >= deadline || wake(); });
    mDeadlines.erase(std::find(mDeadlines.begin(), mDeadlines.end(), deadline));
    mChanged.notify_all();
    return wake();
}

void VirtualClock::Interrupt() {
    { std::lock_guard guard(mLock); }
    mChanged.notify_all();
}

bool VirtualClock::AwaitWait(int n) {
    std::unique_lock lock(mLock);
    return mChanged.wait_for(lock, kPatience, [&] { return mWaitsBegun >= n && !mDeadlines.empty(); });
}

void VirtualClock::Advance(std::chrono::nanoseconds step) {
    {
        std::lock_guard guard(mLock);
        mNow += step;
    }
    mChanged.notify_all();
}

void VirtualClock::AdvanceToDeadline() {
    {
        std::lock_guard guard(mLock);
        if (!mDeadlines.empty()) mNow = *std::min_element(mDeadlines.begin(), mDeadlines.end());
    }
    mChanged.notify_all();
}

int VirtualClock::WaitersNow() {
    std::lock_guard guard(mLock);
    return static_cast<int>(mDeadlines.size());
}

}  // namespace testsupport
