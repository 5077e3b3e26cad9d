#include "app/core/TaskQueue.h"

#include <utility>

namespace sequora {

void TaskQueue::Post(Task task) {
    {
        std::lock_guard guard(mLock);
        mTasks.push_back(std::move(task));
    }
    mChanged.notify_all();
}

void TaskQueue::Wake() {
    {
        std::lock_guard guard(mLock);
        mWoken = true;
    }
    mChanged.notify_all();
}

bool TaskQueue::RunUntil(const std::function<bool()>& done,
                         std::optional<std::chrono::steady_clock::time_point> deadline) {
    while (!done()) {
        Task task;
        {
            std::unique_lock lock(mLock);
            const auto ready = [this] { return mWoken || !mTasks.empty(); };
            if (!deadline) {
                mChanged.wait(lock, ready);
            } else if (!mChanged.wait_until(lock, *deadline, ready)) {
                return done();
            }
            mWoken = false;
            if (mTasks.empty()) continue;
            task = std::move(mTasks.front());
            mTasks.pop_front();
        }
        task();
    }
    return true;
}

}  // namespace sequora
