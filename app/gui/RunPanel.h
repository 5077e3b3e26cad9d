#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/core/ComluxCommandSender.h"
#include "app/core/RunClock.h"
#include "app/core/TrialRunner.h"
#include "app/gui/RunHost.h"
#include "app/gui/RunStatus.h"

class QLabel;
class QPushButton;
class QStatusBar;
class QWidget;

namespace comlux {
class ComluxClient;
}

namespace sequora {
class RunControl;
}

namespace sequora::gui {

class DialogControls;
class ElidingLabel;
class Prompter;
class WindowThreadInvoker;
struct RememberedState;

/// Run control: Start (with the run's journal named), Pause/Continue, Stop and Run
/// Continuously; the run's reports on the status bar (where it is, how it ended, its seed and
/// journal, the Timing button) and in the control API's model; the boxes about bits a run
/// could not turn off.
///
/// Owns the trial runner, its host and its command sender, the run status and the status
/// bar's run texts. Borrows the window, its controls, the item list (the list document's),
/// the client (the connection panel's), the invoker, the prompter, the clock, the control
/// model, the remembered settings and whatever the hooks call; all must outlive it. The
/// window closes the runner (its workers joined) before destroying anything, and destroys
/// this before the list document and the connection panel. Reports posted to this and not
/// yet delivered are dropped with it.
///
/// Threads: the window thread; the runner's workers reach it only through the RunHost,
/// which posts their reports here.
class RunPanel : public QObject {
    Q_OBJECT
public:
    /// What the run asks of the rest of the window, each on the window thread.
    struct Hooks {
        std::function<void()> applyControls;           ///< the run's state changed the controls' states
        std::function<void()> started;                 ///< the followed run began
        std::function<void(int row)> rowStarted;       ///< it plays `row` (0-based)
        std::function<void(const RunEndInfo&)> ended;  ///< it is over
    };

    RunPanel(QWidget& window, const DialogControls& controls, ItemList& items, comlux::ComluxClient& client,
             WindowThreadInvoker& invoker, Prompter& prompter, RunClock& clock, RunControl& model,
             const RememberedState& remembered, Hooks hooks);

    /// Puts the run's texts into the status bar.
    void AddStatusTexts(QStatusBar* statusBar);
    /// Puts the Timing button into the status bar.
    void AddTimingButton(QStatusBar* statusBar);

    /// Starts a run of the list, with a journal (named after `listFile`) when the settings
    /// want one.
    void Start(const std::string& listFile, const std::string& serverName);
    void PauseContinue();
    void Stop();
    void SetRunContinuously(bool continuously);

    /// A run plays or is paused.
    bool UnderWay() const { return mRunner->Running() || mRunner->Paused(); }
    /// The status bar follows a run from its start report to its end report.
    bool Playing() const { return mRun.Playing(); }
    TrialRunner& Runner() { return *mRunner; }
    const TrialRunner& Runner() const { return *mRunner; }

    /// Stops the runs and waits for their workers, then shows their end reports in boxes
    /// that wait (the window is closing). The invoker must be shut down first.
    void StopForClose();

    /// The status bar's run text.
    QString StatusText() const;
    /// The status bar's run details, whole.
    QString DetailsText() const;

private:
    void OnRunStarted(const RunStartInfo& info);
    void OnRowStarted(const RunPosition& at);
    void OnJournalStopped(std::uint64_t run, const std::string& message);
    void OnRunEnded(const RunEndInfo& info);
    void ShowUnconfirmedBits(const RunEndInfo& info);
    void ShowRunStatus();
    void ShowRunTiming();

    QWidget& mWindow;
    Prompter& mPrompter;
    RunClock& mClock;
    RunControl& mModel;
    const RememberedState& mRemembered;
    const Hooks mHooks;
    QLabel* mStatus = nullptr;             // the status bar's child
    ElidingLabel* mDetails = nullptr;      // the status bar's child
    QPushButton* mTimingButton = nullptr;  // the status bar's child, shown after a run that wrote a journal
    QTimer mElapsedTimer;

    // All written on the window thread.
    RunStatus mRun;
    RunClock::TimePoint mStartedAt{};
    std::string mJournalPath;  // the last run's journal, empty when it wrote none
    // The runner's number of the newest run that has reported its start: the run the status
    // bar follows. Reports of earlier runs are dropped.
    std::uint64_t mCurrentRun = 0;
    // Set once closing has stopped the runs: their reports are shown in boxes that wait.
    bool mClosing = false;

    ComluxCommandSender mSender;
    std::unique_ptr<RunHost> mHost;
    std::unique_ptr<TrialRunner> mRunner;  // last: its workers use all of the above
};

}  // namespace sequora::gui
