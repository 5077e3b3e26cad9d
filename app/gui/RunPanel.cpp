#include "app/gui/RunPanel.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <chrono>
#include <ctime>
#include <utility>

#include "app/core/RunControl.h"
#include "app/core/RunMessages.h"
#include "app/core/TimingSummary.h"
#include "app/gui/DialogControls.h"
#include "app/gui/DialogTemplate.h"
#include "app/gui/ElidingLabel.h"
#include "app/gui/JournalFiles.h"
#include "app/gui/LocalText.h"
#include "app/gui/Prompter.h"
#include "app/gui/StatusTexts.h"
#include "app/gui/TimingDialog.h"
#include "app/gui/WindowSettings.h"

namespace sequora::gui {

namespace {

// How often the elapsed time of a playing run is shown afresh.
constexpr std::chrono::milliseconds kElapsedInterval{250};

}  // namespace

RunPanel::RunPanel(QWidget& window, const DialogControls& controls, ItemList& items,
                   comlux::ComluxClient& client, WindowThreadInvoker& invoker, Prompter& prompter,
                   RunClock& clock, RunControl& model, const RememberedState& remembered, Hooks hooks)
    : mWindow(window),
      mPrompter(prompter),
      mClock(clock),
      mModel(model),
      mRemembered(remembered),
      mHooks(std::move(hooks)),
      mSender(client) {
    RunHost::Reports reports;
    reports.started = [this](const RunStartInfo& info) { OnRunStarted(info); };
    reports.row = [this](const RunPosition& at) { OnRowStarted(at); };
    reports.journal = [this](std::uint64_t run, const std::string& message) {
        OnJournalStopped(run, message);
    };
    reports.ended = [this](const RunEndInfo& info) { OnRunEnded(info); };
    mHost = std::make_unique<RunHost>(invoker, prompter, mHooks.applyControls, this, std::move(reports));
    mRunner = std::make_unique<TrialRunner>(items, mSender, *mHost, clock);

    mElapsedTimer.setInterval(kElapsedInterval);
    connect(&mElapsedTimer, &QTimer::timeout, this, &RunPanel::ShowRunStatus);
    connect(controls.As<QPushButton>(kIdPause), &QPushButton::clicked, this, &RunPanel::PauseContinue);
    connect(controls.As<QPushButton>(kIdStop), &QPushButton::clicked, this, &RunPanel::Stop);
    connect(controls.As<QCheckBox>(kIdRunContinuously), &QCheckBox::clicked, this,
            &RunPanel::SetRunContinuously);
}

void RunPanel::AddStatusTexts(QStatusBar* statusBar) {
    // Where the run is stands whole; the texts beside it give way.
    mStatus = new QLabel(statusBar);
    // The middle, so that both the seed and the journal's name stay recognisable.
    mDetails = new ElidingLabel(Qt::ElideMiddle, statusBar);
    statusBar->addWidget(mStatus, 1);
    statusBar->addPermanentWidget(mDetails);
}

void RunPanel::AddTimingButton(QStatusBar* statusBar) {
    mTimingButton = new QPushButton(QString::fromLatin1(status_texts::kTiming), statusBar);
    mTimingButton->setFocusPolicy(Qt::NoFocus);
    connect(mTimingButton, &QPushButton::clicked, this, &RunPanel::ShowRunTiming);
    statusBar->addPermanentWidget(mTimingButton);
    mTimingButton->hide();
}

QString RunPanel::StatusText() const {
    return mStatus->text();
}

QString RunPanel::DetailsText() const {
    return mDetails->FullText();
}

void RunPanel::Start(const std::string& listFile, const std::string& serverName) {
    JournalSettings journal;
    if (mRemembered.writeJournals) {
        journal.listFile = listFile;
        journal.path =
            NewJournalPath(ToFilePath(mRemembered.journalFolder), std::time(nullptr), journal.listFile);
        journal.server = serverName;
        journal.mode = JournalOpen::CreateNew;
    }
    mRunner->SetJournal(journal);
    mRunner->Start();
    mHooks.applyControls();
}

void RunPanel::PauseContinue() {
    mRunner->PauseContinue();
    mRun.SetPaused(mRunner->Paused());
    mModel.SetPaused(mRunner->Paused());
    ShowRunStatus();
    mHooks.applyControls();
}

void RunPanel::Stop() {
    if (mRunner->Running()) mModel.SetStopping();
    mRunner->Stop();
    mHooks.applyControls();
}

void RunPanel::SetRunContinuously(bool continuously) {
    mRunner->SetRunContinuously(continuously);
    mHooks.applyControls();
}

void RunPanel::StopForClose() {
    // Stopped rather than closed with the runner, so that the runs' end reports (the bits
    // they could not turn off) still reach the user before the window goes.
    mRunner->Stop();
    mRunner->WaitForWorkers();
    mClosing = true;
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void RunPanel::OnRunStarted(const RunStartInfo& info) {
    // The runner numbers its runs upwards: a start report names the newest run.
    if (info.run < mCurrentRun) return;
    mCurrentRun = info.run;
    mRun.Started(info.seed, info.trialCount, info.continuous, info.journalPath);
    mJournalPath = info.journalPath;
    mTimingButton->hide();
    mModel.RunStarted(info);
    mStartedAt = mClock.Now();
    mHooks.started();
    mElapsedTimer.start();
    ShowRunStatus();
}

void RunPanel::OnRowStarted(const RunPosition& at) {
    if (at.run != mCurrentRun) return;
    mRun.RowStarted(at.trial, at.row, at.rowCount);
    mModel.RowStarted(at.trial, at.row, at.rowCount);
    mHooks.rowStarted(at.row - 1);
    ShowRunStatus();
}

void RunPanel::OnJournalStopped(std::uint64_t run, const std::string& message) {
    if (run != mCurrentRun) return;
    mRun.AddNote(message);
    ShowRunStatus();
}

void RunPanel::OnRunEnded(const RunEndInfo& info) {
    // A bit left on matters whichever run left it.
    ShowUnconfirmedBits(info);
    // An earlier run may end while a later one plays: the status bar follows the later.
    if (info.run != mCurrentRun) return;
    using End = RunStatus::End;
    const End how = info.how == RunEnd::Completed        ? End::Completed
                    : info.how == RunEnd::Stopped        ? End::Stopped
                    : info.how == RunEnd::ConnectionLost ? End::Failed
                                                         : End::Closed;
    mRun.Ended(how, info.trial, info.row, info.message, info.elapsed);
    // Noted once: the writer's report may have come already.
    mRun.AddNote(info.journalFailure);
    if (!info.resetBits.empty()) mRun.AddNote(run_messages::BitsReset(info.resetBits));
    mTimingButton->setVisible(!mJournalPath.empty());
    mModel.RunEnded(info);
    mElapsedTimer.stop();
    ShowRunStatus();
    mHooks.ended(info);
}

void RunPanel::ShowUnconfirmedBits(const RunEndInfo& info) {
    // Modeless, so that the window stays usable and the boxes need not be closed in turn;
    // a closing window would take modeless boxes with it.
    for (const UnconfirmedBit& bit : info.unconfirmedBits) {
        const QString text = FromLocal(run_messages::BitMayStillBeOn(bit.bit, bit.reason));
        if (mClosing) {
            mPrompter.ShowMessage(text);
        } else {
            mPrompter.ShowMessageModeless(text, [] {});
        }
    }
}

void RunPanel::ShowRunStatus() {
    const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(mClock.Now() - mStartedAt);
    mStatus->setText(FromLocal(mRun.Text(elapsed)));
    mDetails->SetFullText(FromLocal(mRun.Details()));
}

void RunPanel::ShowRunTiming() {
    const SavedJournal journal = ReadSavedJournal(mJournalPath);
    if (!journal.readable) {
        mPrompter.ShowMessage(
            FromLocal("The run journal " + mJournalPath + " cannot be read: " + journal.problem + "."));
        return;
    }
    auto* dialog = new TimingDialog(journal, FromLocal(mJournalPath), &mWindow);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

}  // namespace sequora::gui
