#pragma once

#include <QDialog>
#include <QIcon>
#include <QSize>
#include <QString>
#include <QUndoStack>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/core/AddItemRules.h"
#include "app/core/ComluxCommandSender.h"
#include "app/core/ItemList.h"
#include "app/core/ItemSelection.h"
#include "app/core/PartlyReadFiles.h"
#include "app/core/RunClock.h"
#include "app/core/ServerSession.h"
#include "app/core/TrialRunner.h"
#include "app/gui/AnchoredLayout.h"
#include "app/gui/ConnectionWatch.h"
#include "app/gui/FormBinding.h"
#include "app/gui/ListLoader.h"
#include "app/gui/Prompter.h"
#include "app/gui/RunHost.h"
#include "app/gui/RunStatus.h"
#include "app/gui/WindowCommandLine.h"
#include "app/gui/WindowControl.h"
#include "app/gui/WindowSettings.h"
#include "app/gui/WindowThreadInvoker.h"
#include "comlux/ComluxClient.h"

class QAction;
class QLabel;
class QPushButton;
class QStatusBar;
class QTimer;
class QTreeView;

namespace sequora::gui {

class ElidingLabel;
class ItemListModel;

/// What the window is made with; the defaults are the program's own.
struct SequoraDlgOptions {
    /// Message boxes and file dialogs; null for the real ones.
    std::unique_ptr<Prompter> prompter;
    /// The client log file; empty for the default place (DefaultLogFilePath).
    std::string logFilePath;
    /// The clock the trial runs wait on; null for the real clock. Must outlive the window.
    RunClock* clock = nullptr;
    /// The settings file; empty for the user's own.
    QString settingsPath;
    /// The wait before each command line of a .cfg file being opened.
    std::chrono::milliseconds loadPausePerLine{20};
};

/// The Sequora main window: the connection controls, the item form and list, the run
/// controls, the .cfg buttons and a status bar. It owns the client, the item list, the
/// trial runner and the undo history of the list's edits.
///
/// Teardown goes in this order, so that nothing reaches a window partly destroyed: the
/// destructor abandons a load and ends the runs (their workers joined, a pending disconnect
/// dropped); it then cuts every signal of its members and controls to itself (the undo
/// history clears itself as it goes, and would retitle the window). The members then go in
/// reverse order of declaration: the runner before what it refers to, the client after what
/// its reading thread calls (prompter, invoker, mInClientCall). QWidget deletes the controls
/// last.
class SequoraDlg : public QDialog {
    Q_OBJECT
public:
    /// Builds and initialises the window (log file opened, settings restored, form shown).
    explicit SequoraDlg(SequoraDlgOptions options = {}, QWidget* parent = nullptr);
    /// Ends any run and waits for its worker before the client and list go.
    ~SequoraDlg() override;

    /// Carries out the command line: server name, the list to open, the connection, the start.
    void ApplyStartOptions(const WindowOptions& options);

    /// The control with the given ID, null for none.
    QWidget* Control(int id) const;
    /// The control with the given ID as a widget type, null for none or another type.
    template <typename Widget>
    Widget* ControlAs(int id) const {
        return qobject_cast<Widget*>(Control(id));
    }

    /// The connection to the server (tests set its ports).
    comlux::ComluxClient& Client() { return mClient; }
    /// The experiment item list.
    ItemList& Items() { return mItems; }
    /// The trial runner.
    TrialRunner& Runner() { return *mRunner; }
    /// The undo history of the list's edits.
    QUndoStack& UndoStack() { return mUndoStack; }
    /// The form's values as last read or shown.
    const FormMembers& Form() const { return mForm; }
    /// The remembered row of the item list, -1 for none.
    int SelectedRow() const { return mSelection.SelectedRow(); }
    /// Between a successful Connect and the next Disconnect.
    bool Connected() const { return mSession.Connected(); }
    /// The server's object names fetched by the last Connect.
    const std::vector<std::string>& ObjectNames() const { return mSession.ObjectNames(); }
    /// Their types, in the same order.
    const std::vector<std::string>& ObjectTypes() const { return mSession.ObjectTypes(); }
    /// True when the list differs from what was last opened or saved.
    bool HasUnsavedChanges() const;
    /// True while a .cfg file is being opened.
    bool Loading() const { return mLoader && mLoader->Loading(); }
    /// Ends the load under way as the status bar's Cancel does.
    void CancelLoad();
    /// The status bar's load text (empty and hidden unless a load has lasted a while).
    QString LoadStatus() const;
    /// The status bar's connection text.
    QString ConnectionStatus() const;
    /// The control API's port, 0 when it is not served.
    int ControlPort() const { return mControl->Port(); }
    /// The status bar's run text.
    QString RunStatus() const;
    /// The status bar's run details (seed, journal), whole even where the bar shortens them.
    QString RunDetails() const;
    /// The window's size for exactly the template's controls and the status bar.
    QSize TemplateSize() const { return mTemplateSize; }

public slots:
    /// Escape: asks about an unsaved list or a run, then closes without disconnecting.
    void reject() override;

protected:
    /// The close box: asks about an unsaved list or a run, disconnects, then closes.
    void closeEvent(QCloseEvent* event) override;
    /// Enter does nothing; everything else as in any dialog.
    void keyPressEvent(QKeyEvent* event) override;
    /// Places the controls for the new size: only the item list grows.
    void resizeEvent(QResizeEvent* event) override;
    /// Clicks and keys of the item list; Enter in the combo boxes.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildStatusBar(const QSize& templatePixels);
    void SetTabOrder();
    void ConnectSignals();
    void InitialiseControls();
    void InitialiseItemList();
    void AddShortcuts();
    void ReadComputerName();
    void RestoreSettings();
    void SaveSettings();

    bool ReadForm();
    void ShowForm();
    void ShowMessage(const std::string& text);
    void ShowClientMessage(const std::string& text);
    ItemForm CurrentItemForm();
    std::optional<ItemCells> CellsFromForm();
    bool RefuseUnplayableFields();
    void FocusField(int id);

    void OnConnect();
    void Connect();
    void Disconnect();
    void StopRunThenDisconnect();
    void FinishDisconnectAfterRun();
    void SetConnectedControls(bool connected);
    void LoseConnection(const std::string& reason);
    void CheckIdleConnection();
    void OnSendEventClicked(bool checked);
    void OnSetBitClicked(bool checked);
    void OnSendCommandClicked(bool checked);
    void OnRandomDelayClicked(bool checked);
    void OnCommandOptionChosen(int index);
    void OnAddItem();
    void OnRemoveAll();
    void OnRemoveCurrent();
    void OnMoveUp();
    void OnMoveDown();
    void OnStart();
    void OnPause();
    void OnStop();
    void OnRunContinuously(bool checked);
    void OnOpenCfg();
    void OnSaveCfg();
    bool SaveList();
    void OpenList(const QString& path);
    void OnLoadProgress();
    void OnLoadFinished(const CfgLoadResult& result);
    void NoteFolderOf(const QString& path);

    void EditList(const QString& text, const std::function<void()>& change);
    void OnUndo();
    void OnRedo();
    void UpdateUndoActions();
    void OnListRefreshed();
    void UpdateTitle();
    void FitColumns();

    void Remember(int row);
    void ShowRemembered();
    void OnViewSelectionChanged();
    void OnListContextMenu(const QPoint& position);
    void LoadRowIntoForm(int row);
    void ReplaceRowWithForm(int row);
    void DuplicateRow(int row);
    void RemoveRow(int row);

    void OnRunStarted(const RunStartInfo& info);
    void OnRowStarted(const RunPosition& at);
    void OnJournalStopped(std::uint64_t run, const std::string& message);
    void OnRunEnded(const RunEndInfo& info);
    void ShowUnconfirmedBits(const RunEndInfo& info);
    void StopRunsForClose();
    void ShowRunStatus();
    void HighlightRunRow(int row);
    void ShowRunTiming();
    WindowControl::Actions ControlActions();
    void ServeControl(const std::optional<int>& port);

    bool ListEditsAllowed() const;
    bool RunUnderWay() const;
    void ApplyRunControls();
    void EndRun();
    bool ConfirmClose();
    void SetReadOnly(int id, bool readOnly);
    void SetEnabled(int id, bool enabled);
    void SetChecked(int id, bool checked);
    bool IsChecked(int id) const;

    QIcon mIcon;
    FormMembers mForm;
    FormBinding mFormBinding;
    std::map<int, QWidget*> mControls;
    QTreeView* mListView = nullptr;
    AnchoredLayout mLayout;
    QSize mTemplateSize;
    QSize mTemplatePixels;
    QStatusBar* mStatusBar = nullptr;
    ElidingLabel* mConnectionStatus = nullptr;
    QLabel* mRunStatus = nullptr;
    ElidingLabel* mRunDetails = nullptr;
    QLabel* mLoadStatus = nullptr;
    QPushButton* mLoadCancel = nullptr;
    QTimer* mElapsedTimer = nullptr;
    QPushButton* mTimingButton = nullptr;  // shown after a run that wrote a journal
    std::string mRunJournalPath;           // the last run's journal, empty when it wrote none
    sequora::gui::RunStatus mRun;
    RunClock::TimePoint mRunStartedAt{};

    std::unique_ptr<Prompter> mPrompter;
    std::unique_ptr<RunClock> mOwnClock;
    RunClock* mClock = nullptr;
    WindowSettings mSettings;
    RememberedState mRemembered;

    // Before the client: its reading thread shows boxes through them until it is joined.
    WindowThreadInvoker mInvoker{this};
    // Written by the window thread around its own client calls; read by a reading thread
    // that wants to show a box and must not wait for a window that waits for the client.
    std::atomic<bool> mInClientCall{false};
    comlux::ComluxClient mClient;
    ServerSession mSession{mClient};
    // The command connection's socket, checked while idle for a server that closed it
    // (window thread only), and the timer that checks it.
    ConnectionWatch mConnectionWatch;
    QTimer* mConnectionTimer = nullptr;

    ItemList mItems;
    ItemSelection mSelection{mItems};
    std::unique_ptr<ItemListModel> mModel;
    QUndoStack mUndoStack;
    QAction* mUndoAction = nullptr;
    QAction* mRedoAction = nullptr;
    // The file last opened whole or saved; the undo history's clean state is the list as it
    // was then.
    QString mFilePath;
    // Set while the window itself moves the view's highlight, so that the view's own
    // selection changes are not taken for the user's.
    bool mShowingRemembered = false;
    // Set once closing has been confirmed, so the close box's reject() does not ask again.
    bool mCloseConfirmed = false;
    // Set once closing has stopped the runs: their reports are shown in boxes that wait
    // (window thread).
    bool mClosing = false;
    // The .cfg files opened but read only in part: Save refuses to write over them.
    PartlyReadFiles mPartlyRead;
    // The .cfg file being opened, and what its load's undo step needs: whether the list was
    // empty, the row the load may change first and that row as it was, the remembered row.
    std::chrono::milliseconds mLoadPausePerLine;
    std::unique_ptr<ListLoader> mLoader;  // after mItems and mModel: it refers to both
    QString mLoadPath;
    bool mLoadIntoEmpty = false;
    int mLoadFirstRow = 0;
    std::vector<PackedRow> mLoadReplaced;
    int mLoadRememberedBefore = -1;
    bool mStartWhenLoaded = false;  // the command line's --start waits for the load's end

    ComluxCommandSender mSender{mClient};
    std::unique_ptr<RunHost> mRunHost;
    std::unique_ptr<TrialRunner> mRunner;
    // The control API: after the invoker and the runner, which its requests use.
    std::unique_ptr<WindowControl> mControl;
    // The runner's number of the newest run that has reported its start: the run the status
    // bar follows (window thread). Reports of earlier runs are dropped.
    std::uint64_t mCurrentRun = 0;
    // Set from a Disconnect that stopped a run until its resets are done and the connection
    // closed (window thread); the thread that waits for the run's workers meanwhile.
    bool mDisconnectPending = false;
    std::thread mRunEndWaiter;
};

}  // namespace sequora::gui
