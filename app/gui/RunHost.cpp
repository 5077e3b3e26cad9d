#include "app/gui/RunHost.h"

namespace sequora::gui {

RunHost::RunHost(WindowThreadInvoker& invoker, Prompter& prompter, std::function<void()> applyControls,
                 QObject* context, Reports reports)
    : mInvoker(invoker),
      mPrompter(prompter),
      mApplyControls(std::move(applyControls)),
      mContext(context),
      mReports(std::move(reports)) {}

// The reports are queued in the order they come: the window sees a run's start, its rows
// and its end in that order, and the worker never waits for the window.
void RunHost::RunStarted(const RunStartInfo& info) {
    QMetaObject::invokeMethod(
        mContext, [this, info] { mReports.started(info); }, Qt::QueuedConnection);
}

void RunHost::RowStarted(long long trial, int row, int rowCount) {
    QMetaObject::invokeMethod(
        mContext, [this, trial, row, rowCount] { mReports.row(trial, row, rowCount); }, Qt::QueuedConnection);
}

void RunHost::RunEnded(const RunEndInfo& info) {
    QMetaObject::invokeMethod(
        mContext, [this, info] { mReports.ended(info); }, Qt::QueuedConnection);
}

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
