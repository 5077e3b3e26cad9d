#include "app/gui/SequoraDlg.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>
#include <array>
#include <chrono>
#include <iostream>
#include <utility>

#include "app/core/CfgSetup.h"
#include "app/core/IntegerField.h"
#include "app/core/ItemCells.h"
#include "app/core/LogLocation.h"
#include "app/core/RunMessages.h"
#include "app/core/SteadyRunClock.h"
#include "app/gui/CfgFiles.h"
#include "app/gui/ControlFactory.h"
#include "app/gui/DialogPrompter.h"
#include "app/gui/DialogUnits.h"
#include "app/gui/ElidingLabel.h"
#include "app/gui/FormChecks.h"
#include "app/gui/ItemListModel.h"
#include "app/gui/JournalFiles.h"
#include "app/gui/ListEdit.h"
#include "app/gui/StatusTexts.h"
#include "app/gui/TimingDialog.h"
#include "comlux/HostNames.h"

void InitSequoraResources();

namespace sequora::gui {

namespace {

const char kOpenTitle[] = "Open Brontavix Configuration File";
const char kOpenFilter[] = "Brontavix Configuration File(*.cfg*);;All Files (*.*)";
const char kSaveTitle[] = "Brontavix Configuration File";
const char kSaveFilter[] = "Configuration Files (*.cfg);;All Files (*.*)";
// A load shows its progress only once it has lasted this long, so a small file loads
// without a flicker of text.
constexpr std::chrono::milliseconds kLoadProgressAfter{300};

// The title once a file has been opened or saved, and the mark of unsaved changes.
const char kTitleWithFile[] = "Sequora \u2014 %1";
const char kUnsavedMark[] = "*";

const char kUnsavedQuestion[] =
    "The item list has changes that have not been saved. Save them before closing?";
const char kStopRunQuestion[] = "A run is under way. Stop it and close the window?";
const char kStopRunToDisconnectQuestion[] = "Stop the run and disconnect?";
// How often an idle connection is checked for a server that closed it.
constexpr std::chrono::milliseconds kConnectionCheckInterval{250};

const char kConnectCaption[] = "Connect";
const char kDisconnectCaption[] = "Disconnect";

// Names of the list edits in the undo history.
const char kEditAdd[] = "Add Item";
const char kEditRemoveAll[] = "Remove All Items";
const char kEditRemove[] = "Remove Item";
const char kEditMove[] = "Move Item";
const char kEditOpen[] = "Open .cfg File";
const char kEditReplace[] = "Replace Item";
const char kEditDuplicate[] = "Duplicate Item";

// The list's context menu.
const char kMenuLoad[] = "Load into Form";
const char kMenuReplace[] = "Replace with Form";
const char kMenuDuplicate[] = "Duplicate";
const char kMenuRemove[] = "Remove";
const char kMenuUndo[] = "Undo";
const char kMenuRedo[] = "Redo";

constexpr std::array kBitStates{cell_words::kOn, cell_words::kOff};
constexpr int kBitStateAtStart = 1;
constexpr std::array kCommandPresets{"No Selection", "-StartAcquisition", "-StopAcquisition",
                                     "-StartRecording", "-StopRecording"};

constexpr std::array kListButtons{kIdAddItem, kIdRemoveAll, kIdRemoveCurrent, kIdMoveUp, kIdMoveDown};

// The keyboard shortcut of a button; its tool tip names it.
struct ButtonShortcut {
    int id;
    QKeyCombination keys;
};
constexpr std::array kButtonShortcuts{
    ButtonShortcut{kIdOpenCfg, Qt::CTRL | Qt::Key_O},
    ButtonShortcut{kIdSaveCfg, Qt::CTRL | Qt::Key_S},
    ButtonShortcut{kIdRemoveCurrent, QKeyCombination(Qt::Key_Delete)},
    ButtonShortcut{kIdMoveUp, Qt::ALT | Qt::Key_Up},
    ButtonShortcut{kIdMoveDown, Qt::ALT | Qt::Key_Down},
    ButtonShortcut{kIdStart, QKeyCombination(Qt::Key_F5)},
    ButtonShortcut{kIdStop, Qt::SHIFT | Qt::Key_F5},
};
constexpr QKeyCombination kUndoKeys = Qt::CTRL | Qt::Key_Z;
constexpr QKeyCombination kRedoKeys = Qt::CTRL | Qt::SHIFT | Qt::Key_Z;

// Marks the window thread as busy with the client for as long as it lives.
class ClientCallScope {
public:
    explicit ClientCallScope(std::atomic<bool>& flag) : mFlag(flag) { mFlag = true; }
    ~ClientCallScope() { mFlag = false; }
    ClientCallScope(const ClientCallScope&) = delete;
    ClientCallScope& operator=(const ClientCallScope&) = delete;

private:
    std::atomic<bool>& mFlag;
};

QString FromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text);
}

std::string ToLocal(const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::string ToFilePath(const QString& path) {
    const QByteArray bytes = QFile::encodeName(path);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

bool IsEnterKey(const QKeyEvent* key) {
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

}  // namespace

SequoraDlg::SequoraDlg(SequoraDlgOptions options, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      mFormBinding([this](int id) { return ControlAs<QLineEdit>(id); },
                   [this](const std::string& message) { ShowMessage(message); }),
      mPrompter(std::move(options.prompter)),
      mClock(options.clock),
      mSettings(options.settingsPath),
      mLoadPausePerLine(options.loadPausePerLine) {
    InitSequoraResources();
    mIcon = QIcon(QStringLiteral(":/sequora/sequora.png"));
    if (!mPrompter) mPrompter = std::make_unique<DialogPrompter>(this);
    if (!mClock) {
        mOwnClock = std::make_unique<SteadyRunClock>();
        mClock = mOwnClock.get();
    }
    mClient.SetMessageHandler([this](const std::string& text) { ShowClientMessage(text); });
    RunHost::Reports reports;
    reports.started = [this](const RunStartInfo& info) { OnRunStarted(info); };
    reports.row = [this](const RunPosition& at) { OnRowStarted(at); };
    reports.journal = [this](std::uint64_t run, const std::string& message) {
        OnJournalStopped(run, message);
    };
    reports.ended = [this](const RunEndInfo& info) { OnRunEnded(info); };
    mRunHost = std::make_unique<RunHost>(
        mInvoker, *mPrompter, [this] { ApplyRunControls(); }, this, std::move(reports));
    mRunner = std::make_unique<TrialRunner>(mItems, mSender, *mRunHost, *mClock);
    mControl = std::make_unique<WindowControl>(mInvoker, ControlActions());

    BuildControls();
    InitialiseControls();
    ConnectSignals();
    AddShortcuts();
    // A log that cannot be opened is not reported: the program runs on without one.
    const std::string logPath = options.logFilePath.empty() ? DefaultLogFilePath() : options.logFilePath;
    if (!logPath.empty()) mClient.OpenLogFile(logPath);
    ReadComputerName();
    RestoreSettings();
    ShowForm();
    SetConnectedControls(false);
    UpdateTitle();
}

SequoraDlg::~SequoraDlg() {
    // The order is the class comment's.
    mLoader->Abandon();
    EndRun();
    mUndoStack.disconnect(this);
    mModel->disconnect(this);
    for (QObject* part : findChildren<QObject*>()) part->disconnect(this);
}

QWidget* SequoraDlg::Control(int id) const {
    const auto found = mControls.find(id);
    return found == mControls.end() ? nullptr : found->second;
}

bool SequoraDlg::HasUnsavedChanges() const {
    // Every change of the list is a step of the undo history, so the list is as last opened
    // or saved exactly when the history is back at the step marked then.
    return !mUndoStack.isClean();
}

QString SequoraDlg::ConnectionStatus() const {
    return mConnectionStatus->FullText();
}

QString SequoraDlg::RunStatus() const {
    return mRunStatus->text();
}

QString SequoraDlg::RunDetails() const {
    return mRunDetails->FullText();
}

QString SequoraDlg::LoadStatus() const {
    return mLoadStatus->isVisibleTo(this) ? mLoadStatus->text() : QString();
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
        if (control.id >= 0) mControls[control.id] = widget;
        mLayout.Add(widget, widget->geometry(), control.anchor);
    }
    mListView = ControlAs<QTreeView>(kIdItemList);
    BuildStatusBar(mTemplatePixels);
    SetTabOrder();
}

void SequoraDlg::BuildStatusBar(const QSize& templatePixels) {
    // Beneath the template's controls, which keep their places; the window grows by it.
    mStatusBar = new QStatusBar(this);
    mStatusBar->setSizeGripEnabled(true);
    mConnectionStatus = new ElidingLabel(Qt::ElideRight, mStatusBar);
    // Where the run is stands whole; the texts beside it give way.
    mRunStatus = new QLabel(mStatusBar);
    // The middle, so that both the seed and the journal's name stay recognisable.
    mRunDetails = new ElidingLabel(Qt::ElideMiddle, mStatusBar);
    mStatusBar->addWidget(mConnectionStatus);
    mStatusBar->addWidget(mRunStatus, 1);
    mStatusBar->addPermanentWidget(mRunDetails);
    mLoadStatus = new QLabel(mStatusBar);
    mLoadCancel = new QPushButton(QString::fromLatin1(status_texts::kCancelLoad), mStatusBar);
    mLoadCancel->setFocusPolicy(Qt::NoFocus);
    connect(mLoadCancel, &QPushButton::clicked, this, &SequoraDlg::CancelLoad);
    mStatusBar->addPermanentWidget(mLoadStatus);
    mStatusBar->addPermanentWidget(mLoadCancel);
    mLoadStatus->hide();
    mLoadCancel->hide();
    mTimingButton = new QPushButton(QString::fromLatin1(status_texts::kTiming), mStatusBar);
    mTimingButton->setFocusPolicy(Qt::NoFocus);
    connect(mTimingButton, &QPushButton::clicked, this, &SequoraDlg::ShowRunTiming);
    mStatusBar->addPermanentWidget(mTimingButton);
    mTimingButton->hide();
    mElapsedTimer = new QTimer(this);
    mElapsedTimer->setInterval(std::chrono::milliseconds(250));
    connect(mElapsedTimer, &QTimer::timeout, this, &SequoraDlg::ShowRunStatus);
    mConnectionTimer = new QTimer(this);
    mConnectionTimer->setInterval(kConnectionCheckInterval);
    connect(mConnectionTimer, &QTimer::timeout, this, &SequoraDlg::CheckIdleConnection);
    const int height = mStatusBar->sizeHint().height();
    mTemplateSize = QSize(templatePixels.width(), templatePixels.height() + height);
    setMinimumSize(mTemplateSize);
    resize(mTemplateSize);
}

void SequoraDlg::SetTabOrder() {
    // std::map keeps the IDs ascending, which is the keyboard order.
    QWidget* previous = nullptr;
    for (const auto& [id, widget] : mControls) {
        if (previous) setTabOrder(previous, widget);
        previous = widget;
    }
}

void SequoraDlg::InitialiseControls() {
    SetReadOnly(kIdEventString, true);
    SetReadOnly(kIdBitNumber, true);
    SetReadOnly(kIdCommand, true);
    SetEnabled(kIdBitState, false);
    SetEnabled(kIdCommandOptions, false);

    auto* bitState = ControlAs<QComboBox>(kIdBitState);
    for (const char* state : kBitStates) bitState->addItem(QString::fromLatin1(state));
    bitState->setCurrentIndex(kBitStateAtStart);
    auto* presets = ControlAs<QComboBox>(kIdCommandOptions);
    for (const char* preset : kCommandPresets) presets->addItem(QString::fromLatin1(preset));
    presets->setCurrentIndex(0);
    // Enter in a combo's edit part must not choose an entry: the window has no Enter action.
    for (QComboBox* combo : {bitState, presets}) combo->lineEdit()->installEventFilter(this);

    SetEnabled(kIdDelayMin, false);
    SetEnabled(kIdDelayMax, false);
    InitialiseItemList();
}

void SequoraDlg::InitialiseItemList() {
    mModel = std::make_unique<ItemListModel>(mItems);
    mListView->setModel(mModel.get());
    // Every row is one line high: the view need not measure rows, which keeps long lists fast.
    mListView->setUniformRowHeights(true);
    mLoader = std::make_unique<ListLoader>(
        mItems, *mModel, mLoadPausePerLine, [this](const CfgLoadResult& result) { OnLoadFinished(result); },
        [this] { OnLoadProgress(); });
    for (int column = 0; column < kColumnCount; ++column) {
        mListView->header()->resizeSection(column,
                                           ItemListModel::ColumnWidths()[static_cast<std::size_t>(column)]);
    }
    mListView->viewport()->installEventFilter(this);
    mListView->installEventFilter(this);
    mListView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(mListView, &QWidget::customContextMenuRequested, this, &SequoraDlg::OnListContextMenu);
    connect(mListView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &SequoraDlg::OnViewSelectionChanged);
    connect(mModel.get(), &ItemListModel::Refreshed, this, &SequoraDlg::OnListRefreshed);
}

void SequoraDlg::AddShortcuts() {
    for (const ButtonShortcut& shortcut : kButtonShortcuts) {
        auto* button = ControlAs<QPushButton>(shortcut.id);
        const QKeySequence keys(shortcut.keys);
        button->setShortcut(keys);
        button->setToolTip(
            QStringLiteral("%1 (%2)").arg(button->text(), keys.toString(QKeySequence::NativeText)));
    }
    mUndoAction = new QAction(QString::fromLatin1(kMenuUndo), this);
    mUndoAction->setShortcut(QKeySequence(kUndoKeys));
    connect(mUndoAction, &QAction::triggered, this, &SequoraDlg::OnUndo);
    mRedoAction = new QAction(QString::fromLatin1(kMenuRedo), this);
    mRedoAction->setShortcut(QKeySequence(kRedoKeys));
    connect(mRedoAction, &QAction::triggered, this, &SequoraDlg::OnRedo);
    addAction(mUndoAction);
    addAction(mRedoAction);
    connect(&mUndoStack, &QUndoStack::canUndoChanged, this, &SequoraDlg::UpdateUndoActions);
    connect(&mUndoStack, &QUndoStack::canRedoChanged, this, &SequoraDlg::UpdateUndoActions);
    // The history moves after an undo or redo has changed the list: the title follows it then.
    connect(&mUndoStack, &QUndoStack::indexChanged, this, &SequoraDlg::UpdateTitle);
    connect(&mUndoStack, &QUndoStack::cleanChanged, this, &SequoraDlg::UpdateTitle);
    UpdateUndoActions();
}

void SequoraDlg::ReadComputerName() {
    // An unreadable name leaves "LocalHost", which still reaches a server on this machine.
    const std::string name = comlux::ComputerName();
    if (!name.empty()) mForm.serverName = name;
}

void SequoraDlg::RestoreSettings() {
    mRemembered = mSettings.Load();
    if (!mRemembered.serverName.isEmpty()) mForm.serverName = ToLocal(mRemembered.serverName);
    mForm.trialCount = mRemembered.trialCount;
    mRunner->SetTrialCount(mForm.trialCount);
    if (mRemembered.runContinuously) {
        SetChecked(kIdRunContinuously, true);
        OnRunContinuously(true);
    }
    if (!mRemembered.geometry.isEmpty()) restoreGeometry(mRemembered.geometry);
}

void SequoraDlg::SaveSettings() {
    mRemembered.serverName = ControlAs<QLineEdit>(kIdServerName)->text();
    if (const auto count = ReadIntegerField(ToLocal(ControlAs<QLineEdit>(kIdTrialCount)->text()))) {
        mRemembered.trialCount = *count;
    }
    mRemembered.runContinuously = IsChecked(kIdRunContinuously);
    mRemembered.geometry = saveGeometry();
    mSettings.Save(mRemembered);
}

void SequoraDlg::ConnectSignals() {
    const auto onClick = [this](int id, void (SequoraDlg::*handler)()) {
        connect(ControlAs<QPushButton>(id), &QPushButton::clicked, this, handler);
    };
    const auto onCheck = [this](int id, void (SequoraDlg::*handler)(bool)) {
        connect(ControlAs<QCheckBox>(id), &QCheckBox::clicked, this, handler);
    };
    onClick(kIdConnect, &SequoraDlg::OnConnect);
    onCheck(kIdSendEvent, &SequoraDlg::OnSendEventClicked);
    onCheck(kIdSetBit, &SequoraDlg::OnSetBitClicked);
    onCheck(kIdSendCommand, &SequoraDlg::OnSendCommandClicked);
    onCheck(kIdRandomDelay, &SequoraDlg::OnRandomDelayClicked);
    onCheck(kIdRunContinuously, &SequoraDlg::OnRunContinuously);
    connect(ControlAs<QComboBox>(kIdCommandOptions), &QComboBox::activated, this,
            &SequoraDlg::OnCommandOptionChosen);
    onClick(kIdAddItem, &SequoraDlg::OnAddItem);
    onClick(kIdRemoveAll, &SequoraDlg::OnRemoveAll);
    onClick(kIdRemoveCurrent, &SequoraDlg::OnRemoveCurrent);
    onClick(kIdMoveUp, &SequoraDlg::OnMoveUp);
    onClick(kIdMoveDown, &SequoraDlg::OnMoveDown);
    onClick(kIdStart, &SequoraDlg::OnStart);
    onClick(kIdPause, &SequoraDlg::OnPause);
    onClick(kIdStop, &SequoraDlg::OnStop);
    onClick(kIdOpenCfg, &SequoraDlg::OnOpenCfg);
    onClick(kIdSaveCfg, &SequoraDlg::OnSaveCfg);
}

void SequoraDlg::ApplyStartOptions(const WindowOptions& options) {
    if (!options.server.empty()) {
        mForm.serverName = options.server;
        ControlAs<QLineEdit>(kIdServerName)->setText(FromLocal(options.server));
    }
    if (!options.file.empty()) OpenList(QFile::decodeName(options.file.c_str()));
    ServeControl(options.controlPort ? options.controlPort : mRemembered.controlPort);
    if (options.connect && !Connected()) OnConnect();
    // A run starts on the whole list: one being read starts when its load ends.
    mStartWhenLoaded = options.start && Loading();
    if (options.start && !mStartWhenLoaded) OnStart();
}

// ---- form ---------------------------------------------------------------------------

bool SequoraDlg::ReadForm() {
    const bool complete = mFormBinding.Read(mForm);
    // The runner reads the count afresh before every trial, so it follows every read.
    mRunner->SetTrialCount(mForm.trialCount);
    return complete;
}

void SequoraDlg::ShowForm() {
    mFormBinding.Show(mForm);
}

void SequoraDlg::ShowMessage(const std::string& text) {
    mPrompter->ShowMessage(FromLocal(text));
}

void SequoraDlg::ShowClientMessage(const std::string& text) {
    if (mInvoker.OnWindowThread()) {
        ShowMessage(text);
        return;
    }
    // The reading thread holds the client while it waits for OK. The box is modal so that
    // no click reaches the client meanwhile; and if the window thread is itself waiting
    // for the client, the box could never open, so the text goes to stderr instead.
    const QString message = FromLocal(text);
    const bool shown = mInvoker.Call(
        [this, message](WindowThreadInvoker::Finish finish) {
            mPrompter->ShowMessage(message);
            finish();
        },
        [this] { return mInClientCall.load(); });
    if (!shown) std::cerr << text << std::endl;
}

ItemForm SequoraDlg::CurrentItemForm() {
    ItemForm form;
    form.eventString = mForm.eventString;
    form.bitNumber = mForm.bitNumber;
    form.command = mForm.command;
    form.delayMs = mForm.delayMs;
    form.delayMin = mForm.delayMin;
    form.delayMax = mForm.delayMax;
    form.sendEvent = IsChecked(kIdSendEvent);
    form.setBit = IsChecked(kIdSetBit);
    form.sendCommand = IsChecked(kIdSendCommand);
    form.useRandomDelay = IsChecked(kIdRandomDelay);

    // What the box shows decides, typed or chosen: a typed entry is selected, any other
    // text is no entry at all.
    auto* bitState = ControlAs<QComboBox>(kIdBitState);
    form.bitStateIndex = BitStateEntry(ToLocal(bitState->currentText()));
    if (form.bitStateIndex >= 0 && bitState->currentIndex() != form.bitStateIndex) {
        bitState->setCurrentIndex(form.bitStateIndex);
    }
    return form;
}

std::optional<ItemCells> SequoraDlg::CellsFromForm() {
    if (!RefuseUnplayableFields()) return std::nullopt;
    if (!ReadForm()) return std::nullopt;
    const AddItemOutcome outcome = BuildItemCells(CurrentItemForm());
    if (!outcome.cells) {
        ShowMessage(outcome.refusal);
        if (outcome.field == RefusedField::BitNumber) FocusField(kIdBitNumber);
        if (outcome.field == RefusedField::DelayRange) FocusField(kIdDelayMin);
    }
    return outcome.cells;
}

bool SequoraDlg::RefuseUnplayableFields() {
    // The runner waits a delay as the whole milliseconds it reads; any other text would be
    // listed as one delay and waited as another.
    const bool random = IsChecked(kIdRandomDelay);
    for (const DelayField& field : kDelayFields) {
        if (field.random != random) continue;
        const auto refusal =
            DelayRefusal(std::string(field.name), ToLocal(ControlAs<QLineEdit>(field.id)->text()));
        if (!refusal) continue;
        ShowMessage(*refusal);
        FocusField(field.id);
        return false;
    }
    // Any other state would be listed as "NA", which no .cfg file can hold.
    auto* bitState = ControlAs<QComboBox>(kIdBitState);
    if (!IsChecked(kIdSetBit)) return true;
    const auto refusal = BitStateRefusal(std::string(kBitStateLabel), ToLocal(bitState->currentText()));
    if (!refusal) return true;
    ShowMessage(*refusal);
    bitState->setFocus();
    return false;
}

void SequoraDlg::FocusField(int id) {
    auto* edit = ControlAs<QLineEdit>(id);
    edit->setFocus();
    edit->selectAll();
}

void SequoraDlg::SetReadOnly(int id, bool readOnly) {
    auto* edit = ControlAs<QLineEdit>(id);
    edit->setReadOnly(readOnly);
    // Greyed like a disabled field, so nobody types into it in vain; an empty palette
    // gives the edit its usual colours back.
    QPalette colours;
    if (readOnly) {
        colours = edit->palette();
        colours.setColor(QPalette::Base, colours.color(QPalette::Window));
        colours.setColor(QPalette::Text, colours.color(QPalette::Disabled, QPalette::Text));
    }
    edit->setPalette(colours);
}

void SequoraDlg::SetEnabled(int id, bool enabled) {
    Control(id)->setEnabled(enabled);
}

void SequoraDlg::SetChecked(int id, bool checked) {
    ControlAs<QCheckBox>(id)->setChecked(checked);
}

bool SequoraDlg::IsChecked(int id) const {
    return ControlAs<QCheckBox>(id)->isChecked();
}

void SequoraDlg::OnSendEventClicked(bool checked) {
    SetReadOnly(kIdEventString, !checked);
}

void SequoraDlg::OnSetBitClicked(bool checked) {
    SetReadOnly(kIdBitNumber, !checked);
    SetEnabled(kIdBitState, checked);
}

void SequoraDlg::OnSendCommandClicked(bool checked) {
    SetReadOnly(kIdCommand, !checked);
    SetEnabled(kIdCommandOptions, checked);
}

void SequoraDlg::OnRandomDelayClicked(bool checked) {
    SetEnabled(kIdDelayMin, checked);
    SetEnabled(kIdDelayMax, checked);
    SetEnabled(kIdDelay, !checked);
}

void SequoraDlg::OnCommandOptionChosen(int index) {
    ReadForm();
    auto* presets = ControlAs<QComboBox>(kIdCommandOptions);
    if (index < 0 || index >= presets->count()) return;
    mForm.command = ToLocal(presets->itemText(index));
    ShowForm();
}

// ---- connection ---------------------------------------------------------------------

void SequoraDlg::OnConnect() {
    if (mDisconnectPending) return;
    ReadForm();
    if (!Connected()) {
        Connect();
    } else if (!RunUnderWay()) {
        Disconnect();
    } else if (mPrompter->AskStopRunAndDisconnect(QString::fromLatin1(kStopRunToDisconnectQuestion))) {
        StopRunThenDisconnect();
    }
    ShowForm();
}

void SequoraDlg::Connect() {
    std::vector<std::string> failures;
    mConnectionWatch.BeforeConnecting();
    {
        ClientCallScope scope(mInClientCall);
        mSession.Connect(mForm.serverName,
                         [&failures](const std::string& text) { failures.push_back(text); });
    }
    SetConnectedControls(Connected());
    if (Connected() && mConnectionWatch.Connected(mClient.GetCommandPort())) mConnectionTimer->start();
    // Shown once the client is free again, so that a box of another thread can open.
    for (const std::string& failure : failures) ShowMessage(failure);
    // The requests after the connect found the connection gone: nothing is connected.
    if (Connected() && !mClient.IsConnected()) LoseConnection(status_texts::kConnectRequestsFailed);
}

void SequoraDlg::Disconnect() {
    mConnectionTimer->stop();
    mConnectionWatch.Forget();
    {
        ClientCallScope scope(mInClientCall);
        mSession.Disconnect();
    }
    SetConnectedControls(false);
}

void SequoraDlg::StopRunThenDisconnect() {
    // The run turns off the bits it set while the connection is still there: the
    // connection closes once every worker has ended. Connect and Start wait meanwhile.
    mDisconnectPending = true;
    mRunner->Stop();
    ApplyRunControls();
    mRunEndWaiter = std::thread([this] {
        mRunner->WaitForWorkers();
        QMetaObject::invokeMethod(
            this, [this] { FinishDisconnectAfterRun(); }, Qt::QueuedConnection);
    });
}

void SequoraDlg::FinishDisconnectAfterRun() {
    if (!std::exchange(mDisconnectPending, false)) return;
    mRunEndWaiter.join();
    if (Connected()) Disconnect();
    ApplyRunControls();
}

void SequoraDlg::CheckIdleConnection() {
    // A run notices a closed connection at its next command; an idle window by looking.
    if (!Connected() || RunUnderWay() || mInClientCall) return;
    if (mConnectionWatch.PeerClosed()) LoseConnection(status_texts::kServerClosedConnection);
}

void SequoraDlg::SetConnectedControls(bool connected) {
    SetReadOnly(kIdServerName, connected);
    ControlAs<QPushButton>(kIdConnect)
        ->setText(QString::fromLatin1(connected ? kDisconnectCaption : kConnectCaption));
    mControl->Model().SetConnected(connected, mForm.serverName);
    mConnectionStatus->SetFullText(
        FromLocal(connected ? status_texts::ConnectedTo(mForm.serverName, mClient.GetCommandPort())
                            : status_texts::kNotConnected));
}

void SequoraDlg::LoseConnection(const std::string& reason) {
    // As after Disconnect, but the status bar says why.
    Disconnect();
    mConnectionStatus->SetFullText(FromLocal(status_texts::ConnectionLost(reason)));
    mControl->Model().SetConnected(false, mForm.serverName);
}

// ---- item list ----------------------------------------------------------------------

void SequoraDlg::EditList(const QString& text, const std::function<void()>& change) {
    const std::vector<PackedRow> before = mItems.PackedRows();
    const int rememberedBefore = mSelection.SelectedRow();
    change();
    const std::vector<PackedRow> after = mItems.PackedRows();
    const int rememberedAfter = mSelection.SelectedRow();
    ShowRemembered();
    if (before == after) return;

    // Only the stretch that differs is kept for undo, between an unchanged head and tail.
    const std::size_t shorter = std::min(before.size(), after.size());
    std::size_t head = 0;
    while (head < shorter && before[head] == after[head]) ++head;
    std::size_t tail = 0;
    while (tail < shorter - head && before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
        ++tail;
    mUndoStack.push(new ListEdit(
        text, mItems, [this](int row) { Remember(row); }, static_cast<int>(head),
        std::vector<PackedRow>(before.begin() + static_cast<std::ptrdiff_t>(head),
                               before.end() - static_cast<std::ptrdiff_t>(tail)),
        static_cast<int>(after.size() - head - tail), rememberedBefore, rememberedAfter));
}

void SequoraDlg::OnUndo() {
    if (ListEditsAllowed()) mUndoStack.undo();
}

void SequoraDlg::OnRedo() {
    if (ListEditsAllowed()) mUndoStack.redo();
}

void SequoraDlg::UpdateUndoActions() {
    // Undo and redo change rows a run may be reading, like the list buttons.
    const bool allowed = ListEditsAllowed();
    mUndoAction->setEnabled(allowed && mUndoStack.canUndo());
    mRedoAction->setEnabled(allowed && mUndoStack.canRedo());
}

void SequoraDlg::OnAddItem() {
    if (!ListEditsAllowed()) return;
    const std::optional<ItemCells> cells = CellsFromForm();
    if (!cells) return;
    EditList(QString::fromLatin1(kEditAdd), [&] { mItems.AddItemRow(*cells); });
}

void SequoraDlg::OnRemoveAll() {
    if (!ListEditsAllowed()) return;
    EditList(QString::fromLatin1(kEditRemoveAll), [this] { mSelection.RemoveAll(); });
}

void SequoraDlg::OnRemoveCurrent() {
    if (!ListEditsAllowed()) return;
    EditList(QString::fromLatin1(kEditRemove), [this] { mSelection.RemoveCurrent(); });
}

void SequoraDlg::OnMoveUp() {
    if (!ListEditsAllowed()) return;
    EditList(QString::fromLatin1(kEditMove), [this] { mSelection.MoveUp(); });
}

void SequoraDlg::OnMoveDown() {
    if (!ListEditsAllowed()) return;
    EditList(QString::fromLatin1(kEditMove), [this] { mSelection.MoveDown(); });
}

void SequoraDlg::Remember(int row) {
    mSelection.Click(row);
    ShowRemembered();
}

void SequoraDlg::ShowRemembered() {
    // The highlighted row is always the remembered one, the row Remove and Move act on;
    // during a run the list highlights the run's row instead.
    if (mRun.Playing()) return;
    mShowingRemembered = true;
    const int row = mSelection.SelectedRow();
    if (row >= 0 && row < mModel->rowCount()) {
        const QModelIndex index = mModel->index(row, 0);
        mListView->selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        mListView->scrollTo(index);
    } else {
        mListView->selectionModel()->clearSelection();
    }
    mShowingRemembered = false;
}

void SequoraDlg::OnViewSelectionChanged() {
    if (mShowingRemembered || mModel->Refreshing() || mRun.Playing()) return;
    // The user moved the highlight (mouse or keyboard): the highlighted row is remembered.
    const QModelIndexList rows = mListView->selectionModel()->selectedRows();
    mSelection.Click(rows.size() == 1 ? rows.front().row() : -1);
}

void SequoraDlg::OnListRefreshed() {
    if (mSelection.SelectedRow() >= mModel->rowCount()) mSelection.Click(-1);
    UpdateTitle();
    // A load's slices leave the highlight where it is and the view where the user scrolled,
    // and measuring the columns after each slice would cost more than the slice: the end of
    // the load does both.
    if (Loading()) return;
    if (!mRun.Playing()) ShowRemembered();
    FitColumns();
}

void SequoraDlg::UpdateTitle() {
    QString title = mFilePath.isEmpty()
                        ? QString::fromLatin1(kMainWindowCaption.data(),
                                              static_cast<qsizetype>(kMainWindowCaption.size()))
                        : QString::fromUtf8(kTitleWithFile).arg(QFileInfo(mFilePath).fileName());
    if (HasUnsavedChanges()) title += QString::fromLatin1(kUnsavedMark);
    setWindowTitle(title);
}

void SequoraDlg::FitColumns() {
    // Wide enough for what the column holds, never narrower than the template's width.
    QHeaderView* header = mListView->header();
    for (int column = 0; column < kColumnCount; ++column) {
        mListView->resizeColumnToContents(column);
        const int least = ItemListModel::ColumnWidths()[static_cast<std::size_t>(column)];
        if (header->sectionSize(column) < least) header->resizeSection(column, least);
    }
}

void SequoraDlg::OnListContextMenu(const QPoint& position) {
    const QModelIndex index = mListView->indexAt(position);
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const bool editable = ListEditsAllowed();
    if (index.isValid()) {
        const int row = index.row();
        Remember(row);
        menu->addAction(QString::fromLatin1(kMenuLoad), this, [this, row] { LoadRowIntoForm(row); });
        menu->addAction(QString::fromLatin1(kMenuReplace), this, [this, row] { ReplaceRowWithForm(row); })
            ->setEnabled(editable);
        menu->addAction(QString::fromLatin1(kMenuDuplicate), this, [this, row] { DuplicateRow(row); })
            ->setEnabled(editable);
        menu->addAction(QString::fromLatin1(kMenuRemove), this, [this, row] { RemoveRow(row); })
            ->setEnabled(editable);
        menu->addSeparator();
    }
    menu->addAction(mUndoAction);
    menu->addAction(mRedoAction);
    menu->popup(mListView->viewport()->mapToGlobal(position));
}

void SequoraDlg::LoadRowIntoForm(int row) {
    if (row < 0 || row >= mItems.RowCount()) return;
    const RowForm loaded = FormFromRow(mItems.Row(row));
    const auto put = [this](int id, const std::optional<std::string>& text) {
        if (text) ControlAs<QLineEdit>(id)->setText(FromLocal(*text));
    };
    SetChecked(kIdSendEvent, loaded.sendEvent);
    OnSendEventClicked(loaded.sendEvent);
    put(kIdEventString, loaded.eventString);
    SetChecked(kIdSetBit, loaded.setBit);
    OnSetBitClicked(loaded.setBit);
    put(kIdBitNumber, loaded.bitNumber);
    if (loaded.setBit) ControlAs<QComboBox>(kIdBitState)->setCurrentIndex(loaded.bitStateIndex);
    SetChecked(kIdSendCommand, loaded.sendCommand);
    OnSendCommandClicked(loaded.sendCommand);
    put(kIdCommand, loaded.command);
    SetChecked(kIdRandomDelay, loaded.useRandomDelay);
    OnRandomDelayClicked(loaded.useRandomDelay);
    put(kIdDelay, loaded.delayMs);
    put(kIdDelayMin, loaded.delayMin);
    put(kIdDelayMax, loaded.delayMax);
}

void SequoraDlg::ReplaceRowWithForm(int row) {
    if (!ListEditsAllowed()) return;
    const std::optional<ItemCells> cells = CellsFromForm();
    if (!cells) return;
    if (row < 0 || row >= mItems.RowCount()) return;
    ItemRow replaced = mItems.Row(row);
    std::copy(cells->begin(), cells->end(), replaced.begin() + 1);
    EditList(QString::fromLatin1(kEditReplace), [&] {
        mItems.ReplaceRow(row, replaced);
        mSelection.Click(row);
    });
}

void SequoraDlg::DuplicateRow(int row) {
    if (!ListEditsAllowed()) return;
    if (row < 0 || row >= mItems.RowCount()) return;
    ItemRow copy = mItems.Row(row);
    // Numbered like any row added now; placed right below its original.
    copy[kColNumber] = std::to_string(mItems.RowCount() + 1);
    EditList(QString::fromLatin1(kEditDuplicate), [&] {
        mItems.InsertRow(row + 1, copy);
        mSelection.Click(row + 1);
    });
}

void SequoraDlg::RemoveRow(int row) {
    if (!ListEditsAllowed()) return;
    EditList(QString::fromLatin1(kEditRemove), [&] {
        mSelection.Click(row);
        mSelection.RemoveCurrent();
    });
}

bool SequoraDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == mListView->viewport() && event->type() == QEvent::MouseButtonRelease) {
        // The row under the pointer when the button comes up is remembered and highlighted,
        // wherever the press was.
        const auto* release = static_cast<QMouseEvent*>(event);
        const QModelIndex index = mListView->indexAt(release->position().toPoint());
        Remember(index.isValid() ? index.row() : -1);
    }
    if (watched == mListView->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        const auto* click = static_cast<QMouseEvent*>(event);
        const QModelIndex index = mListView->indexAt(click->position().toPoint());
        if (click->button() == Qt::LeftButton && index.isValid()) LoadRowIntoForm(index.row());
    }
    if (watched == mListView && event->type() == QEvent::KeyPress &&
        IsEnterKey(static_cast<QKeyEvent*>(event))) {
        LoadRowIntoForm(mSelection.SelectedRow());
        return true;
    }
    const bool keyEvent = event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride;
    if (keyEvent && qobject_cast<QLineEdit*>(watched)) {  // a combo's edit part
        const auto* key = static_cast<QKeyEvent*>(event);
        if (event->type() == QEvent::KeyPress && IsEnterKey(key)) return true;
        // Alt+Up/Down open and close the combo's list here rather than move an item.
        if (event->type() == QEvent::ShortcutOverride && key->modifiers() == Qt::AltModifier &&
            (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
            event->accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// ---- trial runs ---------------------------------------------------------------------

bool SequoraDlg::RunUnderWay() const {
    return mRunner->Running() || mRunner->Paused();
}

bool SequoraDlg::ListEditsAllowed() const {
    // A load appends to the list as it reads: nothing else may change it meanwhile.
    return mRunner->Controls().listButtonsEnabled && !Loading();
}

void SequoraDlg::OnStart() {
    if (RunUnderWay() || Loading() || mDisconnectPending) return;
    // Without a connection every command of the run would fail.
    if (!Connected()) {
        ShowMessage(run_messages::kStartNeedsConnection);
        return;
    }
    // A field that holds no number stops the run before it begins.
    if (!ReadForm()) return;
    JournalSettings journal;
    if (mRemembered.writeJournals) {
        journal.listFile = ToFilePath(mFilePath);
        journal.path =
            NewJournalPath(ToFilePath(mRemembered.journalFolder), std::time(nullptr), journal.listFile);
        journal.server = mForm.serverName;
        journal.mode = JournalOpen::CreateNew;
    }
    mRunner->SetJournal(journal);
    mRunner->Start();
    ApplyRunControls();
}

void SequoraDlg::OnRunStarted(const RunStartInfo& info) {
    // The runner numbers its runs upwards: a start report names the newest run.
    if (info.run < mCurrentRun) return;
    mCurrentRun = info.run;
    mRun.Started(info.seed, info.trialCount, info.continuous, info.journalPath);
    mRunJournalPath = info.journalPath;
    mTimingButton->hide();
    mControl->Model().RunStarted(info);
    mRunStartedAt = mClock->Now();
    // The list shows the run's row; the user's own highlight waits for the run's end.
    mListView->setSelectionMode(QAbstractItemView::NoSelection);
    mElapsedTimer->start();
    ShowRunStatus();
}

void SequoraDlg::OnRowStarted(const RunPosition& at) {
    if (at.run != mCurrentRun) return;
    mRun.RowStarted(at.trial, at.row, at.rowCount);
    mControl->Model().RowStarted(at.trial, at.row, at.rowCount);
    HighlightRunRow(at.row - 1);
    ShowRunStatus();
}

void SequoraDlg::OnJournalStopped(std::uint64_t run, const std::string& message) {
    if (run != mCurrentRun) return;
    mRun.AddNote(message);
    ShowRunStatus();
}

void SequoraDlg::OnRunEnded(const RunEndInfo& info) {
    // A bit left on matters whichever run left it.
    ShowUnconfirmedBits(info);
    // An earlier run may end while a later one plays: the status bar follows the later.
    if (info.run != mCurrentRun) return;
    using End = sequora::gui::RunStatus::End;
    const End how = info.how == RunEnd::Completed        ? End::Completed
                    : info.how == RunEnd::Stopped        ? End::Stopped
                    : info.how == RunEnd::ConnectionLost ? End::Failed
                                                         : End::Closed;
    mRun.Ended(how, info.trial, info.row, info.message, info.elapsed);
    // Noted once: the writer's report may have come already.
    mRun.AddNote(info.journalFailure);
    if (!info.resetBits.empty()) mRun.AddNote(run_messages::BitsReset(info.resetBits));
    mTimingButton->setVisible(!mRunJournalPath.empty());
    mControl->Model().RunEnded(info);
    mElapsedTimer->stop();
    mListView->setSelectionMode(QAbstractItemView::SingleSelection);
    ShowRemembered();
    ShowRunStatus();
    if (info.how == RunEnd::ConnectionLost && Connected() && !mClient.IsConnected()) {
        LoseConnection(run_messages::FailureReason(info.failure));
    }
}

void SequoraDlg::ShowUnconfirmedBits(const RunEndInfo& info) {
    // Modeless, so that the window stays usable and the boxes need not be closed in turn;
    // a closing window would take modeless boxes with it.
    for (const UnconfirmedBit& bit : info.unconfirmedBits) {
        const QString text = FromLocal(run_messages::BitMayStillBeOn(bit.bit, bit.reason));
        if (mClosing) {
            mPrompter->ShowMessage(text);
        } else {
            mPrompter->ShowMessageModeless(text, [] {});
        }
    }
}

void SequoraDlg::ShowRunStatus() {
    const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(mClock->Now() - mRunStartedAt);
    mRunStatus->setText(FromLocal(mRun.Text(elapsed)));
    mRunDetails->SetFullText(FromLocal(mRun.Details()));
}

void SequoraDlg::ShowRunTiming() {
    const SavedJournal journal = ReadSavedJournal(mRunJournalPath);
    if (!journal.readable) {
        ShowMessage("The run journal " + mRunJournalPath + " cannot be read: " + journal.problem + ".");
        return;
    }
    auto* dialog = new TimingDialog(journal, FromLocal(mRunJournalPath), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

WindowControl::Actions SequoraDlg::ControlActions() {
    WindowControl::Actions actions;
    const auto busy = [this]() -> std::string {
        if (mRunner->Running() || mRunner->Paused()) return status_texts::kRunUnderWay;
        if (Loading()) return status_texts::kListBeingOpened;
        return {};
    };
    actions.start = [this, busy](const StartRequest& request) -> std::string {
        if (std::string refusal = busy(); !refusal.empty()) return refusal;
        if (!Connected()) return run_messages::kStartNeedsConnection;
        if (request.continuous) {
            SetChecked(kIdRunContinuously, *request.continuous);
            OnRunContinuously(*request.continuous);
        }
        if (request.trials) {
            ReadForm();
            mForm.trialCount = *request.trials;
            ShowForm();
        }
        OnStart();
        return mRunner->Running() ? std::string() : status_texts::kRunNotStarted;
    };
    actions.pauseContinue = [this] {
        OnPause();
        return std::string();
    };
    actions.stop = [this]() -> std::string {
        if (!mRunner->Running() && !mRunner->Paused()) return status_texts::kNoRun;
        OnStop();
        return {};
    };
    actions.open = [this, busy](const std::string& path) -> std::string {
        if (std::string refusal = busy(); !refusal.empty()) return refusal;
        OpenList(QFile::decodeName(path.c_str()));
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

void SequoraDlg::HighlightRunRow(int row) {
    if (row < 0 || row >= mModel->rowCount()) return;
    mShowingRemembered = true;
    const QModelIndex index = mModel->index(row, 0);
    mListView->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    mListView->scrollTo(index);
    mShowingRemembered = false;
}

void SequoraDlg::OnPause() {
    mRunner->PauseContinue();
    mRun.SetPaused(mRunner->Paused());
    mControl->Model().SetPaused(mRunner->Paused());
    ShowRunStatus();
    ApplyRunControls();
}

void SequoraDlg::OnStop() {
    if (mRunner->Running()) mControl->Model().SetStopping();
    mRunner->Stop();
    ApplyRunControls();
}

void SequoraDlg::OnRunContinuously(bool checked) {
    mRunner->SetRunContinuously(checked);
    ApplyRunControls();
}

void SequoraDlg::ApplyRunControls() {
    const RunControls controls = mRunner->Controls();
    const bool loading = Loading();
    SetEnabled(kIdStart, controls.startEnabled && !loading && !mDisconnectPending);
    SetEnabled(kIdConnect, !mDisconnectPending);
    ControlAs<QPushButton>(kIdPause)->setText(FromLocal(controls.pauseCaption));
    for (int id : kListButtons) SetEnabled(id, controls.listButtonsEnabled && !loading);
    SetEnabled(kIdOpenCfg, !loading);
    SetEnabled(kIdSaveCfg, !loading);
    SetReadOnly(kIdTrialCount, controls.trialCountReadOnly);
    SetEnabled(kIdRunContinuously, controls.runContinuouslyEnabled);
    UpdateUndoActions();
}

void SequoraDlg::StopRunsForClose() {
    // Stopped rather than closed with the runner, so that the runs' end reports (the bits
    // they could not turn off) still reach the user before the window goes. Released first:
    // a worker waiting for the window would never end.
    mInvoker.Shutdown();
    mPrompter->CloseModelessMessages();
    mRunner->Stop();
    mRunner->WaitForWorkers();
    mClosing = true;
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void SequoraDlg::EndRun() {
    // Release a worker waiting for the window before waiting for the worker.
    mInvoker.Shutdown();
    mControl->Close();
    mPrompter->CloseModelessMessages();
    mRunner->Close();
    // A Disconnect waiting for the run is overtaken by the close.
    if (mRunEndWaiter.joinable()) mRunEndWaiter.join();
    mDisconnectPending = false;
}

// ---- .cfg files ---------------------------------------------------------------------

void SequoraDlg::OnOpenCfg() {
    if (Loading()) return;
    const QString path = mPrompter->OpenFileName(QString::fromLatin1(kOpenTitle),
                                                 QString::fromLatin1(kOpenFilter), mRemembered.lastFolder);
    if (path.isEmpty()) return;
    NoteFolderOf(path);
    OpenList(path);
}

void SequoraDlg::OpenList(const QString& path) {
    if (Loading()) return;
    // The file's first lines may change the list's last row before they add rows of their
    // own: the undo step of the load starts at that row.
    const int rows = mItems.RowCount();
    mLoadPath = path;
    mLoadIntoEmpty = rows == 0;
    mLoadFirstRow = std::max(rows - 1, 0);
    mLoadReplaced.clear();
    if (rows > 0) mLoadReplaced.emplace_back(mItems.Row(rows - 1));
    mLoadRememberedBefore = mSelection.SelectedRow();
    mLoader->Start(ToFilePath(path));
    if (Loading()) ApplyRunControls();
}

void SequoraDlg::OnLoadProgress() {
    if (mLoader->Elapsed() < kLoadProgressAfter) return;
    // Once, when the load turns out long: the first rows give the columns their widths.
    if (mLoadStatus->isHidden()) FitColumns();
    mLoadStatus->setText(FromLocal(status_texts::Loading(ToLocal(QFileInfo(mLoadPath).fileName()),
                                                         mLoader->Percent(), mLoader->ItemsLoaded())));
    mLoadStatus->show();
    mLoadCancel->show();
}

void SequoraDlg::CancelLoad() {
    mLoader->Cancel();
}

void SequoraDlg::OnLoadFinished(const CfgLoadResult& result) {
    mLoadStatus->hide();
    mLoadCancel->hide();
    mLoadStatus->clear();
    if (result.end == CfgLoadResult::End::kUnopened) {
        // Nothing was read: the list and the title stay as they were.
        mLoadReplaced.clear();
        mStartWhenLoaded = false;
        ShowMessage(CannotOpenMessage(ToLocal(QFileInfo(mLoadPath).fileName()), result.reason));
        ApplyRunControls();
        return;
    }
    // The whole load is one step of the undo history, whether it read all, part or nothing.
    const int changed = mItems.RowCount() - mLoadFirstRow;
    const bool lastRowKept =
        mLoadReplaced.empty() || PackedRow(mItems.Row(mLoadFirstRow)) == mLoadReplaced.front();
    if (changed != static_cast<int>(mLoadReplaced.size()) || !lastRowKept) {
        mUndoStack.push(new ListEdit(
            QString::fromLatin1(kEditOpen), mItems, [this](int row) { Remember(row); }, mLoadFirstRow,
            std::move(mLoadReplaced), changed, mLoadRememberedBefore, mSelection.SelectedRow()));
    }
    mLoadReplaced.clear();
    const std::string file = ToFilePath(mLoadPath);
    mPartlyRead.Note(file, result);
    mControl->Model().SetFile(file);
    if (result.Partial()) ShowMessage(result.StopMessage(file));
    // Opened whole into an empty list, the list is the file's; appended or read only in
    // part, it is neither file.
    if (mLoadIntoEmpty && !result.Partial()) {
        mUndoStack.setClean();
        mFilePath = mLoadPath;
    }
    if (!mRun.Playing()) ShowRemembered();
    UpdateTitle();
    FitColumns();
    ApplyRunControls();
    // The user who cancelled the load wants no run of what was read.
    if (std::exchange(mStartWhenLoaded, false) && result.end != CfgLoadResult::End::kCancelled) OnStart();
}

void SequoraDlg::OnSaveCfg() {
    if (Loading()) return;
    SaveList();
}

bool SequoraDlg::SaveList() {
    const QString path = mPrompter->SaveFileName(QString::fromLatin1(kSaveTitle),
                                                 QString::fromLatin1(kSaveFilter), mRemembered.lastFolder);
    if (path.isEmpty()) return false;
    NoteFolderOf(path);
    const std::string file = ToFilePath(path);
    if (mPartlyRead.Holds(file)) {
        ShowMessage(SaveOverPartlyReadMessage(file));
        return false;
    }
    std::string failure;
    if (!SaveCfgFile(file, mItems.Rows(), failure)) {
        ShowMessage(failure);
        return false;
    }
    mUndoStack.setClean();
    mFilePath = path;
    UpdateTitle();
    return true;
}

void SequoraDlg::NoteFolderOf(const QString& path) {
    mRemembered.lastFolder = QFileInfo(path).absolutePath();
    mSettings.SaveLastFolder(mRemembered.lastFolder);
}

// ---- closing ------------------------------------------------------------------------

bool SequoraDlg::ConfirmClose() {
    if (mCloseConfirmed) return true;
    if (mRunner->Running() || mRunner->Paused()) {
        if (!mPrompter->AskStopRunAndClose(QString::fromLatin1(kStopRunQuestion))) return false;
    }
    if (HasUnsavedChanges()) {
        switch (mPrompter->AskUnsavedChanges(QString::fromLatin1(kUnsavedQuestion))) {
            case Prompter::UnsavedChoice::Save:
                if (!SaveList()) return false;
                break;
            case Prompter::UnsavedChoice::Discard: break;
            case Prompter::UnsavedChoice::Cancel: return false;
        }
    }
    mCloseConfirmed = true;
    return true;
}

void SequoraDlg::reject() {
    // Escape during a load cancels the load; the window stays.
    if (Loading() && !mCloseConfirmed) {
        CancelLoad();
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
    Disconnect();
    // Closes through reject(), which does not ask again.
    QDialog::closeEvent(event);
    mCloseConfirmed = false;
}

void SequoraDlg::keyPressEvent(QKeyEvent* event) {
    if (IsEnterKey(event)) {
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
