#include "app/gui/RunHost.h"

namespace sequora::gui {

RunHost::RunHost(WindowThreadInvoker& invoker, Prompter& prompter, std::function<void()> applyControls)
    : mInvoker(invoker), mPrompter(prompter), mApplyControls(std::move(applyControls)) {}

void RunHost::ShowMessage(const std::string& text) {
    const QString message = QString::fromLocal8Bit(text);
    if (mInvoker.OnWindowThread()) {
        // A failed Start reports on the window thread: a modal box like any other.
        mPrompter.ShowMessage(message);
        return;
    }
    mInvoker.Call([this, message](WindowThreadInvoker::Finish finish) {
        mPrompter.ShowMessageModeless(message, std::move(finish));
    });
}

void RunHost::ControlsChanged() {
    mInvoker.Call([this](WindowThreadInvoker::Finish finish) {
        mApplyControls();
        finish();
    });
}

}  // namespace sequora::gui
