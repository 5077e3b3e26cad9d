#pragma once

#include <QDialog>
#include <QIcon>
#include <QSize>
#include <QString>
#include <QUndoStack>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/core/ItemList.h"
#include "app/core/RunClock.h"
#include "app/core/TrialRunner.h"
#include "app/gui/AnchoredLayout.h"
#include "app/gui/ConnectionPanel.h"
#include "app/gui/DialogControls.h"
#include "app/gui/FormBinding.h"
#include "app/gui/ItemFormPanel.h"
#include "app/gui/ListDocument.h"
#include "app/gui/Prompter.h"
#include "app/gui/RunPanel.h"
#include "app/gui/WindowCommandLine.h"
#include "app/gui/WindowControl.h"
#include "app/gui/WindowSettings.h"
#include "app/gui/WindowThreadInvoker.h"
#include "comlux/ComluxClient.h"

class QStatusBar;

namespace sequora::gui {

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

/// The Sequora main window. It builds the dialog template and the status bar, and wires
/// the parts that do the work: the item form (ItemFormPanel), the connection
/// (ConnectionPanel), the item list as a document (ListDocument), run control (RunPanel)
/// and the control API (WindowControl). Itself it keeps only what spans the parts: which
/// controls a run or a load leaves enabled, the command line's start options, the
/// settings, and closing.
///
/// Owns the parts, the prompter, the clock (unless given one), the settings and the
/// invoker; the controls are its Qt children. The parts borrow each other only along the
/// order of declaration (a part borrows those declared before it), so the reverse order of
/// destruction leaves every borrowed part alive while its borrower goes.
///
/// Teardown goes in this order, so that nothing reaches a window partly destroyed: the
/// destructor abandons a load and ends the runs (their workers joined, a pending disconnect
/// dropped, the control API closed); it then cuts every signal of its controls to itself
/// and the parts. The members then go in reverse order of declaration: the run panel (with
/// the runner) before the list and the client it uses, the client (in the connection panel)
/// after the runner and before what its reading thread calls (invoker, prompter). QWidget
/// deletes the controls last.
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
    QWidget* Control(int id) const { return mControls.Control(id); }
    /// The control with the given ID as a widget type, null for none or another type.
    template <typename Widget>
    Widget* ControlAs(int id) const {
        return mControls.As<Widget>(id);
    }

    /// The connection to the server (tests set its ports).
    comlux::ComluxClient& Client() { return mConnection->Client(); }
    /// The experiment item list.
    ItemList& Items() { return mDocument->Items(); }
    /// The trial runner.
    TrialRunner& Runner() { return mRunPanel->Runner(); }
    /// The undo history of the list's edits.
    QUndoStack& UndoStack() { return mDocument->UndoStack(); }
    /// The form's values as last read or shown.
    const FormMembers& Form() const { return mForm->Members(); }
    /// The remembered row of the item list, -1 for none.
    int SelectedRow() const { return mDocument->SelectedRow(); }
    /// Between a successful Connect and the next Disconnect.
    bool Connected() const { return mConnection->Connected(); }
    /// While a connection attempt is under way (the Connect button reads Cancel).
    bool Connecting() const { return mConnection->Connecting(); }
    /// While the connection has a connect, a disconnect or a check under way.
    bool ConnectionBusy() const { return mConnection->Busy(); }
    /// The server's object names fetched by the last Connect.
    const std::vector<std::string>& ObjectNames() const { return mConnection->ObjectNames(); }
    /// Their types, in the same order.
    const std::vector<std::string>& ObjectTypes() const { return mConnection->ObjectTypes(); }
    /// True when the list differs from what was last opened or saved.
    bool HasUnsavedChanges() const { return mDocument->HasUnsavedChanges(); }
    /// True while a .cfg file is being opened.
    bool Loading() const { return mDocument->Loading(); }
    /// Ends the load under way as the status bar's Cancel does.
    void CancelLoad() { mDocument->CancelLoad(); }
    /// The status bar's load text (empty and hidden unless a load has lasted a while).
    QString LoadStatus() const { return mDocument->LoadStatus(); }
    /// The status bar's connection text.
    QString ConnectionStatus() const { return mConnection->StatusText(); }
    /// The control API's port, 0 when it is not served.
    int ControlPort() const { return mControl->Port(); }
    /// The status bar's run text.
    QString RunStatus() const { return mRunPanel->StatusText(); }
    /// The status bar's run details (seed, journal), whole even where the bar shortens them.
    QString RunDetails() const { return mRunPanel->DetailsText(); }
    /// The window's size for exactly the template's controls and the status bar.
    QSize TemplateSize() const { return mTemplateSize; }

public slots:
    /// Escape: cancels a load or a connection attempt under way; otherwise asks about an
    /// unsaved list or a run, then closes without disconnecting.
    void reject() override;

protected:
    /// The close box: asks about an unsaved list or a run, disconnects, then closes.
    void closeEvent(QCloseEvent* event) override;
    /// Enter does nothing; everything else as in any dialog.
    void keyPressEvent(QKeyEvent* event) override;
    /// Places the controls for the new size: only the item list grows.
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildControls();
    void MakeParts(std::chrono::milliseconds loadPausePerLine);
    void BuildStatusBar();
    void SetTabOrder();
    void ReadComputerName();
    void RestoreSettings();
    void SaveSettings();

    void ShowMessage(const std::string& text);
    void OnStart();
    void ApplyRunControls();
    WindowControl::Actions ControlActions();
    void ServeControl(const std::optional<int>& port);
    void StartIfAsked();
    void StopRunsForClose();
    void EndRun();
    bool ConfirmClose();

    QIcon mIcon;
    DialogControls mControls;
    AnchoredLayout mLayout;
    QSize mTemplateSize;
    QSize mTemplatePixels;
    QStatusBar* mStatusBar = nullptr;

    std::unique_ptr<Prompter> mPrompter;
    std::unique_ptr<RunClock> mOwnClock;
    RunClock* mClock = nullptr;
    WindowSettings mSettings;
    RememberedState mRemembered;

    // Before the parts: the client's reading thread and the runs' workers reach the window
    // through it until they are joined.
    WindowThreadInvoker mInvoker{this};
    std::unique_ptr<ItemFormPanel> mForm;
    std::unique_ptr<ConnectionPanel> mConnection;
    std::unique_ptr<ListDocument> mDocument;
    // The control API, closed by EndRun before anything goes; the run panel feeds its model.
    std::unique_ptr<WindowControl> mControl;
    std::unique_ptr<RunPanel> mRunPanel;

    // Set once closing has been confirmed, so the close box's reject() does not ask again.
    bool mCloseConfirmed = false;
    // The command line's --start, waiting for the load's and the connect attempt's end.
    bool mStartWhenReady = false;
};

}  // namespace sequora::gui
