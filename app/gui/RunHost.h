#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "app/core/RunObserver.h"
#include "app/gui/Prompter.h"
#include "app/gui/WindowThreadInvoker.h"

namespace sequora::gui {

/// The window's side of a trial run: carries the worker's messages and its Stop operation
/// over to the window thread and keeps the worker waiting until they are done. Messages
/// leave the window usable while they are open, so the user can Stop or Continue.
///
/// Every report names the run it comes from by the number the window gave that run, so
/// that the window can drop the reports of a run it no longer follows (an earlier run may
/// end while a later one plays). The runner's reports carry no such number; each run is
/// given a seed of its own instead (SeedForRun), its start report names that seed, and the
/// worker thread that sent it is the run's from then on.
///
/// Threads: SeedForRun and ForgetRun on the window thread, the reports on the workers'
/// threads; mLock guards the two maps.
class RunHost : public RunObserver {
public:
    /// What the window does with the run's reports, each on the window thread; `run` is
    /// the number given to SeedForRun (0 when the run is not known).
    struct Reports {
        std::function<void(int run, const RunStartInfo&)> started;             ///< a run began
        std::function<void(int run, long long trial, int row, int rows)> row;  ///< a row is playing
        std::function<void(int run, const RunEndInfo&)> ended;                 ///< a run is over
    };

    /// Shows messages through `prompter` and applies control changes through
    /// `applyControls`, both on the window thread of `invoker`; the reports are posted to
    /// `context`'s thread without waiting. All of them must outlive the host.
    RunHost(WindowThreadInvoker& invoker, Prompter& prompter, std::function<void()> applyControls,
            QObject* context, Reports reports);

    /// A fresh seed for run number `run`, which no run still under way uses; the run must
    /// be started with it.
    std::uint32_t SeedForRun(int run);
    /// Withdraws the seed of a run that did not start.
    void ForgetRun(std::uint32_t seed);

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
    int RunOfThisThread(bool ending);

    WindowThreadInvoker& mInvoker;
    Prompter& mPrompter;
    std::function<void()> mApplyControls;
    QObject* mContext;
    Reports mReports;

    std::mutex mLock;
    std::mt19937 mSeeds{std::random_device{}()};  // guarded by mLock
    std::map<std::uint32_t, int> mRunOfSeed;      // runs not yet begun; guarded by mLock
    std::map<std::thread::id, int> mRunOfThread;  // runs begun, by worker; guarded by mLock
};

}  // namespace sequora::gui
