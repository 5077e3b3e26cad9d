#include "app/gui/RunHost.h"

namespace sequora::gui {

RunHost::RunHost(WindowThreadInvoker& invoker, Prompter& prompter, std::function<void()> applyControls,
                 QObject* context, Reports reports)
    : mInvoker(invoker),
      mPrompter(prompter),
      mApplyControls(std::move(applyControls)),
      mContext(context),
      mReports(std::move(reports)) {}

std::uint32_t RunHost::SeedForRun(int run) {
    std::lock_guard guard(mLock);
    std::uint32_t seed = mSeeds();
    while (mRunOfSeed.count(seed) != 0) seed = mSeeds();
    mRunOfSeed[seed] = run;
    return seed;
}

void RunHost::ForgetRun(std::uint32_t seed) {
    std::lock_guard guard(mLock);
    mRunOfSeed.erase(seed);
}

int RunHost::RunOfThisThread(bool ending) {
    std::lock_guard guard(mLock);
    const auto found = mRunOfThread.find(std::this_thread::get_id());
    if (found == mRunOfThread.end()) return 0;
    const int run = found->second;
    // A thread of an ended run may be followed by another with the same identity.
    if (ending) mRunOfThread.erase(found);
    return run;
}

// The reports are queued in the order they come: the window sees a run's start, its rows
// and its end in that order, and the worker never waits for the window.
void RunHost::RunStarted(const RunStartInfo& info) {
    int run = 0;
    {
        std::lock_guard guard(mLock);
        if (const auto found = mRunOfSeed.find(info.seed); found != mRunOfSeed.end()) {
            run = found->second;
            mRunOfSeed.erase(found);
        }
        mRunOfThread[std::this_thread::get_id()] = run;
    }
    QMetaObject::invokeMethod(
        mContext, [this, run, info] { mReports.started(run, info); }, Qt::QueuedConnection);
}

void RunHost::RowStarted(long long trial, int row, int rowCount) {
    const int run = RunOfThisThread(false);
    QMetaObject::invokeMethod(
        mContext, [this, run, trial, row, rowCount] { mReports.row(run, trial, row, rowCount); },
        Qt::QueuedConnection);
}

void RunHost::RunEnded(const RunEndInfo& info) {
    const int run = RunOfThisThread(true);
    QMetaObject::invokeMethod(
        mContext, [this, run, info] { mReports.ended(run, info); }, Qt::QueuedConnection);
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
