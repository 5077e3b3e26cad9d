#include "app/gui/WindowThreadInvoker.h"

#include <QMetaObject>
#include <QThread>
#include <chrono>

namespace sequora::gui {

// Lives as long as the last finish continuation, which a message box may hold beyond the
// invoker's own life.
struct WindowThreadInvoker::Shared {
    std::mutex lock;
    std::condition_variable changed;
    bool shutDown = false;  // guarded by lock
};

// One call's progress; guarded by Shared::lock.
struct WindowThreadInvoker::Pending {
    bool begun = false;
    bool withdrawn = false;
    bool finished = false;
};

WindowThreadInvoker::WindowThreadInvoker(QObject* context)
    : mContext(context), mShared(std::make_shared<Shared>()) {}

WindowThreadInvoker::~WindowThreadInvoker() {
    Shutdown();
}

bool WindowThreadInvoker::Call(const Work& work, const std::function<bool()>& giveUp) {
    if (OnWindowThread()) {
        if (IsShutDown()) return false;
        work([] {});
        return true;
    }
    auto shared = mShared;
    auto pending = std::make_shared<Pending>();
    {
        std::lock_guard guard(shared->lock);
        if (shared->shutDown) return false;
    }
    QMetaObject::invokeMethod(
        mContext,
        [shared, pending, work] {
            {
                std::lock_guard guard(shared->lock);
                if (pending->withdrawn || shared->shutDown) return;
                pending->begun = true;
            }
            work([shared, pending] {
                std::lock_guard guard(shared->lock);
                pending->finished = true;
                shared->changed.notify_all();
            });
        },
        Qt::QueuedConnection);

    std::unique_lock lock(shared->lock);
    while (!pending->finished && !shared->shutDown) {
        shared->changed.wait_for(lock, std::chrono::milliseconds(50));
        if (!pending->begun && !pending->finished && giveUp) {
            lock.unlock();
            const bool abandon = giveUp();
            lock.lock();
            if (abandon && !pending->begun) {
                pending->withdrawn = true;
                return false;
            }
        }
    }
    return pending->finished;
}

void WindowThreadInvoker::Shutdown() {
    std::lock_guard guard(mShared->lock);
    mShared->shutDown = true;
    mShared->changed.notify_all();
}

bool WindowThreadInvoker::OnWindowThread() const {
    return QThread::currentThread() == mContext->thread();
}

bool WindowThreadInvoker::IsShutDown() const {
    std::lock_guard guard(mShared->lock);
    return mShared->shutDown;
}

}  // namespace sequora::gui
