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
// and its end in that order, and neither the worker nor the journal's writer waits for it.
void RunHost::Post(std::function<void()> report) {
    QMetaObject::invokeMethod(mContext, std::move(report), Qt::QueuedConnection);
}

void RunHost::RunStarted(const RunStartInfo& info) {
    Post([this, info] { mReports.started(info); });
}

void RunHost::RowStarted(const RunPosition& at) {
    Post([this, at] { mReports.row(at); });
}

void RunHost::JournalStopped(std::uint64_t run, const std::string& message) {
    Post([this, run, message] { mReports.journal(run, message); });
}

void RunHost::RunEnded(const RunEndInfo& info) {
    Post([this, info] { mReports.ended(info); });
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
    mInvoker.Call([this](const WindowThreadInvoker::Finish& finish) {
        mApplyControls();
        finish();
    });
}

}  // namespace sequora::gui
