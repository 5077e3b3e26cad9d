#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/core/RunObserver.h"

namespace sequora::cli {

/// The headless host of a trial run: what the window would show in a box becomes one
/// line on the error stream, and so do the progress, the seed and the real-time grant.
/// It also tells the main thread when the run has ended.
///
/// Threads: lines from the worker, the client's reading thread and the main thread never
/// mix (mLock); the main thread waits in WaitForEnd for the worker's RunEnded or for Wake
/// from the interrupt watcher.
class ConsoleObserver : public RunObserver {
public:
    /// What ended a WaitForEnd.
    enum class Waited { Ended, Woken, TimedOut };

    /// `err` is not owned and must outlive the observer.
    explicit ConsoleObserver(std::ostream& err) : mErr(err) {}

    /// Writes the text and a line end, flushed.
    void Print(const std::string& text);
    /// The message, verbatim, on a line of its own.
    void ShowMessage(const std::string& text) override { Print(text); }
    /// The worker ended the run after its last trial; there are no controls to change.
    void ControlsChanged() override {}
    /// "trial 2/5", or "trial 7" when running continuously.
    void TrialStarting(const RunPosition& at) override;
    /// "seed 12345", then what real-time treatment the worker was granted.
    void RunStarted(const RunStartInfo& info) override;
    /// Notes that the pending command is over and wakes AwaitStopProgress.
    void ResetsStarting(std::uint64_t run, const std::vector<int>& bits) override;
    /// The message, at once.
    void JournalStopped(std::uint64_t run, const std::string& message) override;
    /// Says which bits a Stop reset and which it could not confirm, keeps the end and wakes
    /// WaitForEnd.
    void RunEnded(const RunEndInfo& info) override;

    /// Waits until the run has ended, Wake() was called since the last wait, or `deadline`
    /// (none: no time limit).
    Waited WaitForEnd(std::optional<std::chrono::steady_clock::time_point> deadline = std::nullopt);
    /// After a Stop: waits until the run has ended or begun its resets (the command pending at
    /// the Stop is over then), or `deadline`; false on the deadline.
    bool AwaitStopProgress(std::chrono::steady_clock::time_point deadline);
    /// Ends the current (or the next) WaitForEnd early.
    void Wake();
    /// How the run ended, once it has.
    std::optional<RunEndInfo> End();

private:
    std::ostream& mErr;
    std::mutex mLock;  // keeps lines whole; guards the members below
    std::condition_variable mChanged;
    std::optional<RunEndInfo> mEnd;
    bool mWoken = false;
    bool mResetting = false;
};

}  // namespace sequora::cli
