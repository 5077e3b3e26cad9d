#pragma once

#include <mutex>
#include <ostream>
#include <string>

#include "app/core/RunObserver.h"

namespace sequora::cli {

/// The headless host of a trial run: what the window would show in a box becomes one
/// line on the error stream, and so does the progress. Lines from the worker, the
/// client's reading thread and the main thread never mix.
class ConsoleObserver : public RunObserver {
public:
    /// `err` is not owned and must outlive the observer.
    explicit ConsoleObserver(std::ostream& err) : mErr(err) {}

    /// Writes the text and a line end, flushed.
    void Print(const std::string& text);
    /// The message, verbatim, on a line of its own.
    void ShowMessage(const std::string& text) override { Print(text); }
    /// The worker ended the run after its last trial; there are no controls to change.
    void ControlsChanged() override {}
    /// "trial 2/5", or "trial 7" when running continuously.
    void TrialStarting(long long trial, int count) override;

private:
    std::ostream& mErr;
    std::mutex mLock;  // keeps lines whole
};

}  // namespace sequora::cli
