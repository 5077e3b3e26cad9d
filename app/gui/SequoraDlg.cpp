#include "app/gui/SequoraDlg.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTreeView>
#include <array>
#include <chrono>
#include <iostream>

#include "app/core/AddItemRules.h"
#include "app/core/CfgSetup.h"
#include "app/core/CfgWriter.h"
#include "app/core/ItemCells.h"
#include "app/core/SteadyRunClock.h"
#include "app/gui/ControlFactory.h"
#include "app/gui/DialogPrompter.h"
#include "app/gui/DialogUnits.h"
#include "app/gui/ItemListModel.h"
#include "comlux/HostNames.h"

void InitSequoraResources();

namespace sequora::gui {

namespace {

const char kOpenTitle[] = "Open Brontavix Configuration File";
const char kOpenFilter[] = "Brontavix Configuration File(*.cfg*);;All Files (*.*)";
const char kSaveTitle[] = "Brontavix Configuration File";
const char kSaveFilter[] = "Configuration Files (*.cfg);;All Files (*.*)";
constexpr std::chrono::milliseconds kLoadPausePerLine{20};

constexpr std::array kBitStates{cell_words::kOn, cell_words::kOff};
constexpr int kBitStateAtStart = 1;
constexpr std::array kCommandPresets{"No Selection", "-StartAcquisition", "-StopAcquisition",
                                     "-StartRecording", "-StopRecording"};

constexpr std::array kListButtons{kIdAddItem, kIdRemoveAll, kIdRemoveCurrent, kIdMoveUp, kIdMoveDown};

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

}  // namespace

SequoraDlg::SequoraDlg(SequoraDlgOptions options, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      mFormBinding([this](int id) { return ControlAs<QLineEdit>(id); },
                   [this](const std::string& message) { ShowMessage(message); }),
      mPrompter(std::move(options.prompter)),
      mClock(options.clock) {
    InitSequoraResources();
    mIcon = QIcon(QStringLiteral(":/sequora/sequora.png"));
    if (!mPrompter) mPrompter = std::make_unique<DialogPrompter>(this);
    if (!mClock) {
        mOwnClock = std::make_unique<SteadyRunClock>();
        mClock = mOwnClock.get();
    }
    mClient.SetMessageHandler([this](const std::string& text) { ShowClientMessage(text); });
    mRunHost = std::make_unique<RunHost>(mInvoker, *mPrompter, [this] { ApplyRunControls(); });
    mRunner = std::make_unique<TrialRunner>(mItems, mSender, *mRunHost, *mClock);

    BuildControls();
    InitialiseControls();
    ConnectSignals();
    // A log that cannot be opened is not reported: the program runs on without one.
    mClient.OpenLogFile(options.logFilePath.empty() ? ServerSession::LogFilePathBesideExecutable()
                                                    : options.logFilePath);
    ReadComputerName();
    ShowForm();
}

SequoraDlg::~SequoraDlg() {
    EndRun();
}

QWidget* SequoraDlg::Control(int id) const {
    const auto found = mControls.find(id);
    return found == mControls.end() ? nullptr : found->second;
}

// ---- construction -------------------------------------------------------------------

void SequoraDlg::BuildControls() {
    setWindowTitle(
        QString::fromLatin1(kMainWindowCaption.data(), static_cast<qsizetype>(kMainWindowCaption.size())));
    setWindowIcon(mIcon);
    QFont dialogFont = font();
    dialogFont.setPointSize(kDialogFontPointSize);
    setFont(dialogFont);
    const DialogUnits units(dialogFont);
    setFixedSize(units.SizeToPixels(kMainWindowSize));

    for (const ControlTemplate& control : MainWindowTemplate()) {
        QWidget* widget = CreateControl(control, units, this);
        if (control.id >= 0) mControls[control.id] = widget;
    }
    mListView = ControlAs<QTreeView>(kIdItemList);
    SetTabOrder();
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

    SetEnabled(kIdDelayMin, false);
    SetEnabled(kIdDelayMax, false);
    InitialiseItemList();
}

void SequoraDlg::InitialiseItemList() {
    mModel = std::make_unique<ItemListModel>(mItems);
    mListView->setModel(mModel.get());
    for (int column = 0; column < kColumnCount; ++column) {
        mListView->header()->resizeSection(column,
                                           ItemListModel::ColumnWidths()[static_cast<std::size_t>(column)]);
    }
    mListView->viewport()->installEventFilter(this);
}

void SequoraDlg::ReadComputerName() {
    // An unreadable name leaves "LocalHost", which still reaches a server on this machine.
    const std::string name = comlux::ComputerName();
    if (!name.empty()) mForm.serverName = name;
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

// ---- form ---------------------------------------------------------------------------

bool SequoraDlg::ReadForm() {
    return mFormBinding.Read(mForm);
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

void SequoraDlg::SetReadOnly(int id, bool readOnly) {
    ControlAs<QLineEdit>(id)->setReadOnly(readOnly);
}

void SequoraDlg::SetEnabled(int id, bool enabled) {
    Control(id)->setEnabled(enabled);
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
    ReadForm();
    auto* button = ControlAs<QPushButton>(kIdConnect);
    if (Connected()) {
        {
            ClientCallScope scope(mInClientCall);
            mSession.Disconnect();
        }
        SetReadOnly(kIdServerName, false);
        button->setText(QStringLiteral("Connect"));
    } else {
        std::vector<std::string> failures;
        {
            ClientCallScope scope(mInClientCall);
            mSession.Connect(mForm.serverName,
                             [&failures](const std::string& text) { failures.push_back(text); });
        }
        if (Connected()) {
            SetReadOnly(kIdServerName, true);
            button->setText(QStringLiteral("Disconnect"));
        }
        // Shown once the client is free again, so that a box of another thread can open.
        for (const std::string& failure : failures) ShowMessage(failure);
    }
    ShowForm();
}

// ---- item list ----------------------------------------------------------------------

void SequoraDlg::OnAddItem() {
    ReadForm();
    ItemForm form;
    form.eventString = mForm.eventString;
    form.bitNumber = mForm.bitNumber;
    form.command = mForm.command;
    form.delayMs = mForm.delayMs;
    form.delayMin = mForm.delayMin;
    form.delayMax = mForm.delayMax;
    form.sendEvent = IsChecked(kIdSendEvent);
    form.setBit = IsChecked(kIdSetBit);
    form.bitStateIndex = ControlAs<QComboBox>(kIdBitState)->currentIndex();
    form.sendCommand = IsChecked(kIdSendCommand);
    form.useRandomDelay = IsChecked(kIdRandomDelay);

    const AddItemOutcome outcome = BuildItemCells(form);
    if (!outcome.cells) {
        ShowMessage(outcome.refusal);
        return;
    }
    mItems.AddItemRow(*outcome.cells);
}

void SequoraDlg::OnRemoveAll() {
    mSelection.RemoveAll();
}

void SequoraDlg::OnRemoveCurrent() {
    // The list's rows move up behind the removed one, so no highlight is left on it.
    if (mSelection.RemoveCurrent()) mListView->clearSelection();
}

void SequoraDlg::OnMoveUp() {
    if (const std::optional<int> row = mSelection.MoveUp()) HighlightRow(*row);
}

void SequoraDlg::OnMoveDown() {
    if (const std::optional<int> row = mSelection.MoveDown()) HighlightRow(*row);
}

void SequoraDlg::OnListClicked(const QPoint& position) {
    const QModelIndex index = mListView->indexAt(position);
    mSelection.Click(index.isValid() ? index.row() : -1);
}

void SequoraDlg::HighlightRow(int row) {
    const QModelIndex index = mModel->index(row, 0);
    mListView->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    mListView->scrollTo(index);
}

bool SequoraDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == mListView->viewport() && event->type() == QEvent::MouseButtonPress) {
        const auto* press = static_cast<QMouseEvent*>(event);
        if (press->button() == Qt::LeftButton) OnListClicked(press->position().toPoint());
    }
    return QDialog::eventFilter(watched, event);
}

// ---- trial runs ---------------------------------------------------------------------

void SequoraDlg::OnStart() {
    mRunner->Start([this] {
        ReadForm();
        mRunner->SetTrialCount(mForm.trialCount);
    });
    ApplyRunControls();
}

void SequoraDlg::OnPause() {
    mRunner->PauseContinue();
    ApplyRunControls();
}

void SequoraDlg::OnStop() {
    mRunner->Stop();
    ApplyRunControls();
}

void SequoraDlg::OnRunContinuously(bool checked) {
    mRunner->SetRunContinuously(checked);
    ApplyRunControls();
}

void SequoraDlg::ApplyRunControls() {
    const RunControls controls = mRunner->Controls();
    SetEnabled(kIdStart, controls.startEnabled);
    ControlAs<QPushButton>(kIdPause)->setText(FromLocal(controls.pauseCaption));
    for (int id : kListButtons) SetEnabled(id, controls.listButtonsEnabled);
    SetReadOnly(kIdTrialCount, controls.trialCountReadOnly);
    SetEnabled(kIdRunContinuously, controls.runContinuouslyEnabled);
}

void SequoraDlg::EndRun() {
    // Release a worker waiting for the window before waiting for the worker.
    mInvoker.Shutdown();
    mPrompter->CloseModelessMessages();
    mRunner->Stop();
    mRunner->WaitForWorkers();
}

// ---- .cfg files ---------------------------------------------------------------------

void SequoraDlg::OnOpenCfg() {
    const QString path =
        mPrompter->OpenFileName(QString::fromLatin1(kOpenTitle), QString::fromLatin1(kOpenFilter));
    if (path.isEmpty()) return;
    const std::string file = ToFilePath(path);
    CfgSetup setup(mItems, kLoadPausePerLine);
    const CfgLoadResult result = setup.Load(file);
    mPartlyRead.Note(file, result);
    if (result.Partial()) ShowMessage(result.StopMessage(file));
}

void SequoraDlg::OnSaveCfg() {
    const QString path =
        mPrompter->SaveFileName(QString::fromLatin1(kSaveTitle), QString::fromLatin1(kSaveFilter));
    if (path.isEmpty()) return;
    const std::string file = ToFilePath(path);
    if (mPartlyRead.Holds(file)) {
        ShowMessage(SaveOverPartlyReadMessage(file));
        return;
    }
    CfgWriter writer;
    if (!writer.Write(file, mItems)) ShowMessage(writer.ErrorMessage());
}

// ---- closing ------------------------------------------------------------------------

void SequoraDlg::reject() {
    EndRun();
    QDialog::reject();
}

void SequoraDlg::closeEvent(QCloseEvent* event) {
    {
        ClientCallScope scope(mInClientCall);
        mSession.Disconnect();
    }
    QDialog::closeEvent(event);
}

void SequoraDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace sequora::gui
