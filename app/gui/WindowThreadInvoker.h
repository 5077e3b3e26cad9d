#pragma once

#include <QObject>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace sequora::gui {

/// Lets other threads run work on the window's thread and wait until it is done, the way
/// the trial worker and the client's reading thread show their messages. The wait ends
/// early when the invoker is shut down (the window closes), so a waiting thread can
/// always be joined.
class WindowThreadInvoker {
public:
    /// Calls the continuation once the work is over (possibly later, e.g. when a box closes).
    using Finish = std::function<void()>;
    /// The work: runs on the window thread and must call its Finish exactly once.
    using Work = std::function<void(Finish finish)>;

    /// Work is queued to `context`'s thread; `context` must outlive the invoker.
    explicit WindowThreadInvoker(QObject* context);
    ~WindowThreadInvoker();
    WindowThreadInvoker(const WindowThreadInvoker&) = delete;
    WindowThreadInvoker& operator=(const WindowThreadInvoker&) = delete;

    /// Runs `work` on the window thread and blocks until it finishes. If the window thread
    /// has not begun the work while `giveUp` returns true (checked every 50 ms), the work
    /// is withdrawn. Returns false when the work was withdrawn or the invoker shut down.
    /// Called on the window thread itself, it runs the work at once and waits for nothing.
    bool Call(const Work& work, const std::function<bool()>& giveUp = {});

    /// Releases every waiting caller and withdraws all work not yet begun; later calls
    /// return false at once. Window thread only.
    void Shutdown();

    /// True when called on the window thread.
    bool OnWindowThread() const;

    /// True once Shutdown has been called.
    bool IsShutDown() const;

private:
    struct Shared;
    struct Pending;

    QObject* mContext;
    std::shared_ptr<Shared> mShared;
};

}  // namespace sequora::gui
