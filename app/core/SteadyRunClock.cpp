#include "app/core/SteadyRunClock.h"

#include <thread>

namespace sequora {

namespace {

// A thread woken from a timed sleep often runs a tenth of a millisecond or more after its
// deadline. The last stretch before the deadline is therefore waited for awake, yielding
// the processor between looks at the clock.
constexpr std::chrono::microseconds kAwakeStretch{500};

}  // namespace

RunClock::TimePoint SteadyRunClock::Now() {
    return std::chrono::steady_clock::now();
}

std::chrono::system_clock::time_point SteadyRunClock::CalendarNow() {
    return std::chrono::system_clock::now();
}

bool SteadyRunClock::WaitUntil(TimePoint deadline, const WakeCondition& wake) {
    {
        std::unique_lock lock(mLock);
        if (mWakeUp.wait_until(lock, deadline - kAwakeStretch, wake)) return true;
    }
    while (Now() < deadline) {
        {
            std::lock_guard guard(mLock);
            if (wake()) return true;
        }
        std::this_thread::yield();
    }
    std::lock_guard guard(mLock);
    return wake();
}

void SteadyRunClock::Interrupt() {
    // Taking the lock orders the caller's changes before any waiter's next check, so a
    // waiter about to block cannot miss this wake-up.
    { std::lock_guard guard(mLock); }
    mWakeUp.notify_all();
}

}  // namespace sequora
