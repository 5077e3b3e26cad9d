#include "SteadyRunClock.h"

namespace sequora {

RunClock::TimePoint SteadyRunClock::Now() { return std::chrono::steady_clock::now(); }

std::int64_t SteadyRunClock::CalendarSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool SteadyRunClock::WaitUntil(TimePoint deadline, const WakeCondition& wake) {
    std::unique_lock lock(mLock);
    return mWakeUp.wait_until(lock, deadline, wake);
}

void SteadyRunClock::Interrupt() {
    // Taking the lock orders the caller's changes before any waiter's next check, so a
    // waiter about to block cannot miss this wake-up.
    { std::lock_guard guard(mLock); }
    mWakeUp.notify_all();
}

}  // namespace sequora
