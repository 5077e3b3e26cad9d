#pragma once

#include <chrono>
#include <functional>

namespace sequora {

/// The time sources of a trial run: a monotonic clock the worker sleeps on and times its
/// actions with, and the calendar time that stamps the run's journal and seeds a run given
/// no seed. The program uses SteadyRunClock; tests substitute a virtual clock so that delays
/// cost no real time.
class RunClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    /// Tells a waiter to stop waiting early; read while the clock's lock is held.
    using WakeCondition = std::function<bool()>;

    virtual ~RunClock() = default;

    /// The monotonic time now.
    virtual TimePoint Now() = 0;
    /// The calendar time now.
    virtual std::chrono::system_clock::time_point CalendarNow() = 0;
    /// Blocks until `deadline` has passed or `wake` returns true; returns wake()'s last
    /// value. `wake` is checked on entry, after every Interrupt() and possibly more often.
    virtual bool WaitUntil(TimePoint deadline, const WakeCondition& wake) = 0;
    /// Makes every current WaitUntil check its wake condition again; call it after
    /// changing anything a wake condition reads.
    virtual void Interrupt() = 0;
};

}  // namespace sequora
