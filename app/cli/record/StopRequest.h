#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace sequora::record {

/// A request to end the recording (a signal, a failed write) that any thread may make and any
/// thread may wait for.
///
/// Threads: any. The installed action runs on the requesting thread, under the lock; it must be
/// quick and must not request again.
class StopRequest {
public:
    /// Requests the stop; the first request runs the installed action.
    void Request();
    /// True once requested.
    bool Requested() const;
    /// Waits until requested, at most `limit`; true when requested.
    bool WaitFor(std::chrono::steady_clock::duration limit) const;
    /// Waits until requested.
    void Wait() const;
    /// Installs what a request does besides waking the waiters (empty: nothing); runs it at once
    /// when the request came before.
    void OnRequest(std::function<void()> action);

private:
    mutable std::mutex mLock;  // guards the members below
    mutable std::condition_variable mChanged;
    bool mRequested = false;
    std::function<void()> mAction;
};

}  // namespace sequora::record
