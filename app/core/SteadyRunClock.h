#pragma once

#include <condition_variable>
#include <mutex>

#include "app/core/RunClock.h"

namespace sequora {

/// The real clocks: steady_clock for waits, the system clock for the calendar.
/// A wait is one wait_until on the monotonic deadline, cut short by Interrupt(), except
/// for its last half millisecond, which is spent awake so that the wait ends on time.
class SteadyRunClock : public RunClock {
public:
    /// steady_clock::now().
    TimePoint Now() override;
    /// system_clock::now().
    std::chrono::system_clock::time_point CalendarNow() override;
    /// Sleeps on the condition variable, then yields until the deadline or until `wake` holds.
    bool WaitUntil(TimePoint deadline, const WakeCondition& wake) override;
    /// Wakes every waiter to check its condition.
    void Interrupt() override;

private:
    std::mutex mLock;  // pairs with mWakeUp; held while a wake condition is checked
    std::condition_variable mWakeUp;
};

}  // namespace sequora
