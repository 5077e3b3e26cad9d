#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace sequora::cli {

/// Turns Ctrl-C (SIGINT), SIGTERM and SIGHUP (the terminal closed, the SSH session dropped)
/// into a call on an ordinary thread, so that nothing
/// but the kernel runs in signal context. The first signal calls the installed action;
/// a second one calls the last words (closing the log) and ends the process at once with
/// status 130 (for a run stuck waiting on a dead server).
///
/// BlockSignals() must run in main before any thread starts, so that every thread
/// inherits the blocked mask and the signals are only ever read from the signalfd.
class InterruptWatcher {
public:
    /// Blocks SIGINT, SIGTERM and SIGHUP in the calling thread (and the threads it creates later).
    static void BlockSignals();

    /// Starts the watching thread.
    InterruptWatcher();
    /// Ends and joins the watching thread.
    ~InterruptWatcher();
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

    /// Installs the action for the first signal (called on the watching thread); when a
    /// signal came before, the action runs at once on the calling thread. The action must
    /// not block: the watcher cannot see a second signal while it runs.
    void OnInterrupt(std::function<void()> action);
    /// Installs what a second signal does on the watching thread before the process ends;
    /// it must be quick and must not wait for other threads.
    void OnSecondInterrupt(std::function<void()> lastWords);
    /// Whether a signal has arrived.
    bool Interrupted() const { return mInterrupted.load(); }
    /// False when the signalfd could not be set up (signals then keep their defaults).
    bool Watching() const { return mSignalFd >= 0; }

private:
    void Watch();

    int mSignalFd = -1;
    int mWakeFd = -1;                       // an eventfd that ends Watch()
    std::atomic<bool> mInterrupted{false};  // written by the watching thread
    std::mutex mLock;                       // guards mAction and mLastWords
    std::function<void()> mAction;
    std::function<void()> mLastWords;
    std::thread mThread;
};

}  // namespace sequora::cli
