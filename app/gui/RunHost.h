#pragma once

#include <QObject>
#include <functional>
#include <string>

#include "app/core/RunObserver.h"
#include "app/gui/Prompter.h"
#include "app/gui/WindowThreadInvoker.h"

namespace sequora::gui {

/// The window's side of a trial run: carries the worker's messages and its Stop operation
/// over to the window thread and keeps the worker waiting until they are done. Messages
/// leave the window usable while they are open, so the user can Stop or Continue.
class RunHost : public RunObserver {
public:
    /// What the window does with the run's reports, each on the window thread.
    struct Reports {
        std::function<void(const RunStartInfo&)> started;             ///< a run began
        std::function<void(long long trial, int row, int rows)> row;  ///< a row is playing
        std::function<void(const RunEndInfo&)> ended;                 ///< a run is over
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
    /// Posts the run's start to the window; returns at once.
    void RunStarted(const RunStartInfo& info) override;
    /// Posts the playing row to the window; returns at once.
    void RowStarted(long long trial, int row, int rowCount) override;
    /// Posts the run's end to the window; returns at once.
    void RunEnded(const RunEndInfo& info) override;

private:
    WindowThreadInvoker& mInvoker;
    Prompter& mPrompter;
    std::function<void()> mApplyControls;
    QObject* mContext;
    Reports mReports;
};

}  // namespace sequora::gui
