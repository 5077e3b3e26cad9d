#pragma once

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
    /// Shows messages through `prompter` and applies control changes through
    /// `applyControls`, both on the window thread of `invoker`; all three must outlive
    /// the host.
    RunHost(WindowThreadInvoker& invoker, Prompter& prompter, std::function<void()> applyControls);

    /// Shows the message and returns when the user has closed it (or the window closes).
    void ShowMessage(const std::string& text) override;
    /// Applies the runner's control states on the window thread and waits for that.
    void ControlsChanged() override;

private:
    WindowThreadInvoker& mInvoker;
    Prompter& mPrompter;
    std::function<void()> mApplyControls;
};

}  // namespace sequora::gui
