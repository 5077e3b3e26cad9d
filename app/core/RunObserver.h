#pragma once

#include <string>

namespace sequora {

/// What the host of a trial runner (the window or sequora-run) does for the worker.
/// Every call blocks the caller until the host has dealt with it, so the host must not
/// wait on its own thread for a call in progress while it destroys the runner: the
/// runner's destructor joins the worker, which may be inside one of these calls.
class RunObserver {
public:
    virtual ~RunObserver() = default;

    /// Shows one of the runner's messages ("Trials Completed", "Error Processing Item,
    /// invalid Item Index", "Error creating thread in OnBnClickedStart()") and returns
    /// when the user has seen it. Called on the worker thread, except the thread-creation
    /// message, which comes on the thread that called Start.
    virtual void ShowMessage(const std::string& text) = 0;

    /// The worker has carried out the Stop operation at the end of its last trial; the
    /// host applies TrialRunner::Controls() to its controls on its own thread.
    /// Called on the worker thread only; operations called by the host itself do not
    /// come back here (the host reads Controls() after calling them).
    virtual void ControlsChanged() = 0;

    /// The worker is about to play trial `trial` (1-based) of `count` (count is 0 when
    /// running continuously). Default: nothing; sequora-run prints its progress here.
    virtual void TrialStarting(long long trial, int count) {
        (void)trial;
        (void)count;
    }
};

}  // namespace sequora
