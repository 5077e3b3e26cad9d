#include "app/gui/SequoraDlg.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <array>
#include <iostream>
#include <utility>

#include "app/core/IntegerField.h"
#include "app/core/LogLocation.h"
#include "app/core/RunControl.h"
#include "app/core/RunMessages.h"
#include "app/core/SteadyRunClock.h"
#include "app/gui/ConnectionPanel.h"
#include "app/gui/ControlFactory.h"
#include "app/gui/DialogPrompter.h"
#include "app/gui/DialogUnits.h"
#include "app/gui/ItemFormPanel.h"
#include "app/gui/ListDocument.h"
#include "app/gui/ListView.h"
#include "app/gui/LocalText.h"
#include "app/gui/RunPanel.h"
#include "app/gui/StatusTexts.h"
#include "comlux/HostNames.h"

void InitSequoraResources();

namespace sequora::gui {

namespace {

const char kUnsavedQuestion[] =
    "The item list has changes that have not been saved. Save them before closing?";
const char kStopRunQuestion[] = "A run is under way. Stop it and close the window?";

constexpr std::array kListButtons{kIdAddItem, kIdRemoveAll, kIdRemoveCurrent, kIdMoveUp, kIdMoveDown};

}  // namespace

SequoraDlg::SequoraDlg(SequoraDlgOptions options, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      mPrompter(std::move(options.prompter)),
      mClock(options.clock),
      mSettings(options.settingsPath) {
    InitSequoraResources();
    mIcon = QIcon(QStringLiteral(":/sequora/sequora.png"));
    if (!mPrompter) mPrompter = std::make_unique<DialogPrompter>(this);
    if (!mClock) {
        mOwnClock = std::make_unique<SteadyRunClock>();
        mClock = mOwnClock.get();
    }
    BuildControls();
    MakeParts(options.loadPausePerLine);
    BuildStatusBar();
    mForm->Initialise();
    mDocument->Initialise();
    connect(ControlAs<QPushButton>(kIdStart), &QPushButton::clicked, this, &SequoraDlg::OnStart);
    mControls.AddButtonShortcuts();
    // A log that cannot be opened is not reported: the program runs on without one.
    const std::string logPath = options.logFilePath.empty() ? DefaultLogFilePath() : options.logFilePath;
    if (!logPath.empty()) mConnection->OpenLogFile(logPath);
    ReadComputerName();
    RestoreSettings();
    mForm->Show();
    mConnection->ShowState();
    mDocument->UpdateTitle();
}

SequoraDlg::~SequoraDlg() {
    // The order is the class comment's.
    mDocument->AbandonLoad();
    EndRun();
    const std::array<QObject*, 6> receivers{
        this, mForm.get(), mConnection.get(), mDocument.get(), &mDocument->View(), mRunPanel.get()};
    for (QObject* child : findChildren<QObject*>()) {
        for (QObject* receiver : receivers) child->disconnect(receiver);
    }
}

// ---- construction -------------------------------------------------------------------

void SequoraDlg::BuildControls() {
    setWindowIcon(mIcon);
    QFont dialogFont = font();
    dialogFont.setPointSize(kDialogFontPointSize);
    setFont(dialogFont);
    const DialogUnits units(dialogFont);
    mTemplatePixels = units.SizeToPixels(kMainWindowSize);

    for (const ControlTemplate& control : MainWindowTemplate()) {
        QWidget* widget = CreateControl(control, units, this);
        if (control.id >= 0) mControls.Add(control.id, widget);
        mLayout.Add(widget, widget->geometry(), control.anchor);
    }
    SetTabOrder();
}

void SequoraDlg::MakeParts(std::chrono::milliseconds loadPausePerLine) {
    mForm = std::make_unique<ItemFormPanel>(
        mControls, [this](const std::string& text) { ShowMessage(text); },
        // The runner reads the count afresh before every trial, so it follows every read.
        [this](int count) { mRunPanel->Runner().SetTrialCount(count); });

    ConnectionPanel::Hooks connection;
    connection.readForm = [this] { mForm->Read(); };
    connection.showForm = [this] { mForm->Show(); };
    connection.serverName = [this] { return mForm->Members().serverName; };
    connection.runUnderWay = [this] { return mRunPanel->UnderWay(); };
    connection.stopRun = [this] { mRunPanel->Runner().Stop(); };
    connection.waitForRun = [this] { mRunPanel->Runner().WaitForWorkers(); };
    connection.connectionChanged = [this](bool connected) {
        mControl->Model().SetConnected(connected, mForm->Members().serverName);
    };
    connection.pendingChanged = [this] { ApplyRunControls(); };
    connection.connecting = [this](const std::string& server) { mControl->Model().SetConnecting(server); };
    connection.connectEnded = [this] { StartIfAsked(); };
    mConnection = std::make_unique<ConnectionPanel>(mControls, *mPrompter, mInvoker, std::move(connection));

    ListDocument::Hooks document;
    document.runPlaying = [this] { return mRunPanel->Playing(); };
    document.runAllowsEdits = [this] { return mRunPanel->Runner().Controls().listButtonsEnabled; };
    document.loadingChanged = [this] { ApplyRunControls(); };
    document.fileOpened = [this](const std::string& file) { mControl->Model().SetFile(file); };
    document.loadEnded = [this](const CfgLoadResult& result) {
        ApplyRunControls();
        // The user who cancelled the load wants no run of what was read.
        if (result.end == CfgLoadResult::End::Unopened || result.end == CfgLoadResult::End::Cancelled)
            mStartWhenReady = false;
        StartIfAsked();
    };
    mDocument = std::make_unique<ListDocument>(*this, mControls, *mForm, *mPrompter, mSettings, mRemembered,
                                               loadPausePerLine, std::move(document));

    mControl = std::make_unique<WindowControl>(mInvoker, ControlActions());

    RunPanel::Hooks run;
    run.applyControls = [this] { ApplyRunControls(); };
    run.started = [this] { mDocument->View().RunStarted(); };
    run.rowStarted = [this](int row) { mDocument->View().ShowRunRow(row); };
    run.ended = [this](const RunEndInfo& info) {
        mDocument->View().RunEnded();
        if (info.how == RunEnd::ConnectionLost) {
            mConnection->RunLostConnection(run_messages::FailureReason(info.failure));
        }
    };
    mRunPanel =
        std::make_unique<RunPanel>(*this, mControls, mDocument->Items(), mConnection->Client(), mInvoker,
                                   *mPrompter, *mClock, mControl->Model(), mRemembered, std::move(run));
}

void SequoraDlg::BuildStatusBar() {
    // Beneath the template's controls, which keep their places; the window grows by it.
    mStatusBar = new QStatusBar(this);
    mStatusBar->setSizeGripEnabled(true);
    mConnection->AddStatusText(mStatusBar);
    mRunPanel->AddStatusTexts(mStatusBar);
    mDocument->AddLoadStatus(mStatusBar);
    mRunPanel->AddTimingButton(mStatusBar);
    const int height = mStatusBar->sizeHint().height();
    mTemplateSize = QSize(mTemplatePixels.width(), mTemplatePixels.height() + height);
    setMinimumSize(mTemplateSize);
    resize(mTemplateSize);
}

void SequoraDlg::SetTabOrder() {
    // The IDs ascend in the keyboard order.
    QWidget* previous = nullptr;
    for (const auto& [id, widget] : mControls.All()) {
        if (previous) setTabOrder(previous, widget);
        previous = widget;
    }
}

void SequoraDlg::ReadComputerName() {
    // An unreadable name leaves "LocalHost", which still reaches a server on this machine.
    const std::string name = comlux::ComputerName();
    if (!name.empty()) mForm->Members().serverName = name;
}

void SequoraDlg::RestoreSettings() {
    mRemembered = mSettings.Load();
    FormMembers& form = mForm->Members();
    if (!mRemembered.serverName.isEmpty()) form.serverName = ToLocal(mRemembered.serverName);
    form.trialCount = mRemembered.trialCount;
    mRunPanel->Runner().SetTrialCount(form.trialCount);
    if (mRemembered.runContinuously) {
        mControls.SetChecked(kIdRunContinuously, true);
        mRunPanel->SetRunContinuously(true);
    }
    if (!mRemembered.geometry.isEmpty()) restoreGeometry(mRemembered.geometry);
}

void SequoraDlg::SaveSettings() {
    mRemembered.serverName = ControlAs<QLineEdit>(kIdServerName)->text();
    if (const auto count = ReadIntegerField(ToLocal(ControlAs<QLineEdit>(kIdTrialCount)->text()))) {
        mRemembered.trialCount = *count;
    }
    mRemembered.runContinuously = mControls.IsChecked(kIdRunContinuously);
    mRemembered.geometry = saveGeometry();
    mSettings.Save(mRemembered);
}

void SequoraDlg::ApplyStartOptions(const WindowOptions& options) {
    if (!options.server.empty()) {
        mForm->Members().serverName = options.server;
        ControlAs<QLineEdit>(kIdServerName)->setText(FromLocal(options.server));
    }
    if (!options.file.empty()) mDocument->Open(QFile::decodeName(options.file.c_str()));
    ServeControl(options.controlPort ? options.controlPort : mRemembered.controlPort);
    if (options.connect && !Connected()) mConnection->ConnectOrDisconnect();
    mStartWhenReady = options.start;
    StartIfAsked();
}

void SequoraDlg::StartIfAsked() {
    // A run starts on the whole list and the connection the command line asked for: it
    // waits for a load's end and for the connect attempt's.
    if (!mStartWhenReady || Loading() || mConnection->Connecting()) return;
    mStartWhenReady = false;
    OnStart();
}

void SequoraDlg::ShowMessage(const std::string& text) {
    mPrompter->ShowMessage(FromLocal(text));
}

// ---- what spans the parts -----------------------------------------------------------

void SequoraDlg::OnStart() {
    if (mRunPanel->UnderWay() || Loading() || mConnection->DisconnectPending()) return;
    // Without a connection every command of the run would fail.
    if (!Connected()) {
        ShowMessage(run_messages::kStartNeedsConnection);
        return;
    }
    // A field that holds no number stops the run before it begins.
    if (!mForm->Read()) return;
    mRunPanel->Start(ToFilePath(mDocument->FilePath()), mForm->Members().serverName);
}

void SequoraDlg::ApplyRunControls() {
    const RunControls controls = mRunPanel->Runner().Controls();
    const bool loading = Loading();
    const bool disconnectPending = mConnection->DisconnectPending();
    mControls.SetEnabled(kIdStart, controls.startEnabled && !loading && !disconnectPending);
    mControls.SetEnabled(kIdConnect, !disconnectPending);
    ControlAs<QPushButton>(kIdPause)->setText(FromLocal(controls.pauseCaption));
    for (int id : kListButtons) mControls.SetEnabled(id, controls.listButtonsEnabled && !loading);
    mControls.SetEnabled(kIdOpenCfg, !loading);
    mControls.SetEnabled(kIdSaveCfg, !loading);
    mControls.SetReadOnly(kIdTrialCount, controls.trialCountReadOnly);
    mControls.SetEnabled(kIdRunContinuously, controls.runContinuouslyEnabled);
    mDocument->UpdateUndoActions();
}

WindowControl::Actions SequoraDlg::ControlActions() {
    WindowControl::Actions actions;
    const auto busy = [this]() -> std::string {
        if (mRunPanel->UnderWay()) return kRunUnderWayRefusal;
        if (Loading()) return status_texts::kListBeingOpened;
        return {};
    };
    actions.start = [this, busy](const StartRequest& request) -> std::string {
        if (std::string refusal = busy(); !refusal.empty()) return refusal;
        if (!Connected()) return run_messages::kStartNeedsConnection;
        if (request.continuous) {
            mControls.SetChecked(kIdRunContinuously, *request.continuous);
            mRunPanel->SetRunContinuously(*request.continuous);
        }
        if (request.trials) {
            mForm->Read();
            mForm->Members().trialCount = *request.trials;
            mForm->Show();
        }
        OnStart();
        return mRunPanel->Runner().Running() ? std::string() : status_texts::kRunNotStarted;
    };
    actions.pauseContinue = [this] {
        mRunPanel->PauseContinue();
        return std::string();
    };
    actions.stop = [this]() -> std::string {
        if (!mRunPanel->UnderWay()) return kNoRunRefusal;
        mRunPanel->Stop();
        return {};
    };
    actions.open = [this, busy](const std::string& path) -> std::string {
        if (std::string refusal = busy(); !refusal.empty()) return refusal;
        mDocument->Open(QFile::decodeName(path.c_str()));
        return {};
    };
    return actions;
}

void SequoraDlg::ServeControl(const std::optional<int>& port) {
    if (!port || mControl->Port() != 0) return;
    std::string reason;
    if (!mControl->Serve(*port, reason)) {
        ShowMessage("The control API " + reason + ".");
        return;
    }
    std::cerr << "control http://127.0.0.1:" << mControl->Port() << std::endl;
}

// ---- closing ------------------------------------------------------------------------

void SequoraDlg::StopRunsForClose() {
    // Released first: a worker waiting for the window would never end.
    mInvoker.Shutdown();
    mPrompter->CloseModelessMessages();
    mRunPanel->StopForClose();
}

void SequoraDlg::EndRun() {
    // Release a worker waiting for the window before waiting for the worker.
    mInvoker.Shutdown();
    mControl->Close();
    mPrompter->CloseModelessMessages();
    mRunPanel->Runner().Close();
    mConnection->DropPendingDisconnect();
}

bool SequoraDlg::ConfirmClose() {
    if (mCloseConfirmed) return true;
    if (mRunPanel->UnderWay()) {
        if (!mPrompter->AskStopRunAndClose(QString::fromLatin1(kStopRunQuestion))) return false;
    }
    if (HasUnsavedChanges()) {
        switch (mPrompter->AskUnsavedChanges(QString::fromLatin1(kUnsavedQuestion))) {
            case Prompter::UnsavedChoice::Save:
                if (!mDocument->SaveAs()) return false;
                break;
            case Prompter::UnsavedChoice::Discard: break;
            case Prompter::UnsavedChoice::Cancel: return false;
        }
    }
    mCloseConfirmed = true;
    return true;
}

void SequoraDlg::reject() {
    // Escape during a load or a connection attempt cancels it; the window stays.
    if ((Loading() || mConnection->Connecting()) && !mCloseConfirmed) {
        CancelLoad();
        mConnection->CancelConnect();
        return;
    }
    if (!ConfirmClose()) return;
    SaveSettings();
    StopRunsForClose();
    EndRun();
    QDialog::reject();
    mCloseConfirmed = false;
}

void SequoraDlg::closeEvent(QCloseEvent* event) {
    // Closing ends a load as Cancel does; the rows read so far are then asked about as any.
    CancelLoad();
    if (!ConfirmClose()) {
        event->ignore();
        return;
    }
    // The run turns off the bits it set while the connection is still there.
    StopRunsForClose();
    EndRun();
    mConnection->DisconnectNow();
    // Closes through reject(), which does not ask again.
    QDialog::closeEvent(event);
    mCloseConfirmed = false;
}

void SequoraDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void SequoraDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    const QSize growth = size() - mTemplateSize;
    mLayout.Apply(growth);
    const int statusHeight = mTemplateSize.height() - mTemplatePixels.height();
    mStatusBar->setGeometry(0, height() - statusHeight, width(), statusHeight);
}

}  // namespace sequora::gui
