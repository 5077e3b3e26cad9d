#pragma once

#include <atomic>
#include <chrono>

namespace galdera {

/// A one-way "stop now" flag that blocked poll() calls can watch: raising it makes its
/// descriptor readable for good, so every thread waiting on it wakes up.
class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    /// Raises the flag; later calls do nothing.
    void Raise();
    /// True once Raise() has been called.
    bool IsRaised() const;
    /// The descriptor that becomes readable when the flag is raised (for poll()).
    int Fd() const { return mPipe[0]; }
    /// Sleeps for `duration` unless the flag is raised first; true if it was raised.
    bool SleepFor(std::chrono::milliseconds duration) const;

private:
    int mPipe[2] = {-1, -1};
    std::atomic<bool> mRaised{false};  // written by the thread that calls Raise() (GalderaServer::Stop)
};

}  // namespace galdera
