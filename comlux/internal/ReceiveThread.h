#pragma once

#include <atomic>

namespace comlux {

/// Marks the calling thread as a stream listener's receive thread for the scope's lifetime, so
/// that code a record callback calls into can tell: it must never wait for something that
/// waits for this very thread.
class ReceiveThreadScope {
public:
    /// `stopRequested` is raised when the thread's listener is told to stop; it must outlive the scope.
    explicit ReceiveThreadScope(const std::atomic<bool>* stopRequested);
    /// Unmarks the thread.
    ~ReceiveThreadScope();
    ReceiveThreadScope(const ReceiveThreadScope&) = delete;
    ReceiveThreadScope& operator=(const ReceiveThreadScope&) = delete;
};

/// True on a listener's receive thread, and so inside every record callback.
bool OnReceiveThread();

/// True on a receive thread whose listener has been told to stop.
bool ReceiveThreadStopping();

}  // namespace comlux
