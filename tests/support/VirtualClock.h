#pragma once

#include <condition_variable>
#include <mutex>
#include <vector>

#include "app/core/RunClock.h"
#include "tests/support/EventLog.h"

namespace testsupport {

/// Virtual time for a trial runner: waits either jump to their deadline at once (automatic,
/// the default) or block until the test advances the clock, so tests can act while the worker
/// is in a delay. Every wait that does not end at once on its wake condition is logged as
/// "wait <ms>".
class VirtualClock : public sequora::RunClock {
public:
    /// The calendar at virtual time zero: 2023-11-14 22:13:20 UTC.
    static constexpr std::chrono::seconds kCalendarStart{1700000000};

    /// `log` is not owned and must outlive the clock.
    explicit VirtualClock(EventLog& log) : mLog(log) {}

    /// Automatic: waits end at their deadline at once; otherwise they block until advanced.
    void SetAutomatic(bool automatic);
    /// The virtual monotonic time.
    TimePoint Now() override;
    /// The virtual calendar: kCalendarStart when the virtual time is zero, advancing with it.
    std::chrono::system_clock::time_point CalendarNow() override;
    /// Logs the wait, then ends it as the mode says.
    bool WaitUntil(TimePoint deadline, const WakeCondition& wake) override;
    /// Lets blocked waiters check their wake conditions.
    void Interrupt() override;
    /// Blocks until the n-th blocking wait (counted from 1) has begun and a worker waits.
    bool AwaitWait(int n);
    /// Moves time on by `step`, as work between two waits would.
    void Advance(std::chrono::nanoseconds step);
    /// Moves time to the earliest deadline anyone waits for.
    void AdvanceToDeadline();
    /// The number of waits blocked now.
    int WaitersNow();

private:
    EventLog& mLog;
    std::mutex mLock;  // guards everything below
    std::condition_variable mChanged;
    TimePoint mNow{};
    bool mAutomatic = true;
    int mWaitsBegun = 0;
    std::vector<TimePoint> mDeadlines;
};

}  // namespace testsupport
