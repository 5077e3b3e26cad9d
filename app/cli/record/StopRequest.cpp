#include "app/cli/record/StopRequest.h"

#include <utility>

namespace sequora::record {

void StopRequest::Request() {
    std::lock_guard guard(mLock);
    if (mRequested) return;
    mRequested = true;
    if (mAction) mAction();
    mChanged.notify_all();
}

bool StopRequest::Requested() const {
    std::lock_guard guard(mLock);
    return mRequested;
}

bool StopRequest::WaitFor(std::chrono::steady_clock::duration limit) const {
    std::unique_lock lock(mLock);
    return mChanged.wait_for(lock, limit, [this] { return mRequested; });
}

void StopRequest::Wait() const {
    std::unique_lock lock(mLock);
    mChanged.wait(lock, [this] { return mRequested; });
}

void StopRequest::OnRequest(std::function<void()> action) {
    std::lock_guard guard(mLock);
    mAction = std::move(action);
    if (mRequested && mAction) mAction();
}

}  // namespace sequora::record
