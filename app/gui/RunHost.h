#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <string>

#include "app/core/RunObserver.h"
#include "app/gui/Prompter.h"
#include "app/gui/WindowThreadInvoker.h"

namespace sequora::gui {

/// The window's side of a trial run: carries the worker's messages and its Stop operation
/// over to the window thread and keeps the worker waiting until they are done. Messages
/// leave the window usable while they are open, so the user can Stop or Continue.
///
/// Every report carries the runner's number for its run, so that the window can drop the
/// reports of a run it no longer follows (an earlier run may end while a later one plays).
///
/// Threads: the reports come on the workers' threads and JournalStopped on a journal's
/// writing thread; each is posted to the window thread without waiting. The host keeps no
/// state of its own beyond what the constructor is given.
class RunHost : public RunObserver {
public:
    /// What the window does with the run's reports, each on the window thread.
    struct Reports {
        std::function<void(const RunStartInfo&)> started;                    ///< a run began
        std::function<void(const RunPosition&)> row;                         ///< a row is playing
        std::function<void(std::uint64_t run, const std::string&)> journal;  ///< its journal stopped
        std::function<void(const RunEndInfo&)> ended;                        ///< a run is over
    };

    /// Shows messages through `prompter` and applies control changes through
    /// `applyControls`, both on the window thread of `invoker`; the reports are posted to
    /// `context`'s thread without waiting. All of them must outlive the host.
    RunHost(WindowThreadInvoker& invoker, Prompter& prompter, std::function<void()> applyControls,
            QObject* context, Reports reports);

    /// Shows the message and returns when the user has closed it (or the window closes).
    void ShowMessage(const std::string& text) override;
    /// Applies the runner's control states on the window thread and waits for that.
    void ControlsChanged() override;
    /// Post the report to the window; each returns at once.
    void RunStarted(const RunStartInfo& info) override;
    void RowStarted(const RunPosition& at) override;
    void JournalStopped(std::uint64_t run, const std::string& message) override;
    void RunEnded(const RunEndInfo& info) override;

private:
    void Post(std::function<void()> report);

    WindowThreadInvoker& mInvoker;
    Prompter& mPrompter;
    std::function<void()> mApplyControls;
    QObject* mContext;
    Reports mReports;
};

}  // namespace sequora::gui
