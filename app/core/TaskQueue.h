#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

namespace sequora {

/// Tasks handed over from any thread and run on the thread that waits in RunUntil: an owner's
/// thread for the server session's completions where there is no event loop (sequora-run).
///
/// Threads: Post and Wake from any thread; RunUntil on the owner's thread only. Tasks run
/// there without mLock held, so a task may post again.
class TaskQueue {
public:
    using Task = std::function<void()>;

    /// Queues `task` for the owner's thread.
    void Post(Task task);
    /// Makes RunUntil look at its condition again (after another thread changed what it reads).
    void Wake();
    /// Runs the queued tasks in order until `done()` holds, looking after every task and every
    /// Wake, or until `deadline` (none: no time limit). Returns whether `done()` holds.
    bool RunUntil(const std::function<bool()>& done,
                  std::optional<std::chrono::steady_clock::time_point> deadline = std::nullopt);

private:
    std::mutex mLock;  // guards the members below
    std::condition_variable mChanged;
    std::deque<Task> mTasks;
    bool mWoken = false;
};

}  // namespace sequora
