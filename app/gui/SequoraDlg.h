#pragma once

#include <QDialog>
#include <QIcon>
#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/core/ComluxCommandSender.h"
#include "app/core/ItemList.h"
#include "app/core/ItemSelection.h"
#include "app/core/PartlyReadFiles.h"
#include "app/core/RunClock.h"
#include "app/core/ServerSession.h"
#include "app/core/TrialRunner.h"
#include "app/gui/FormBinding.h"
#include "app/gui/Prompter.h"
#include "app/gui/RunHost.h"
#include "app/gui/WindowThreadInvoker.h"
#include "comlux/ComluxClient.h"

class QTreeView;

namespace sequora::gui {

class ItemListModel;

/// What the window is made with; the defaults are the program's own.
struct SequoraDlgOptions {
    /// Message boxes and file dialogs; null for the real ones.
    std::unique_ptr<Prompter> prompter;
    /// The client log file; empty for the file beside the executable.
    std::string logFilePath;
    /// The clock the trial runs wait on; null for the real clock. Must outlive the window.
    RunClock* clock = nullptr;
};

/// The Sequora main window: the connection controls, the item form and list, the run
/// controls and the .cfg buttons. It owns the client, the item list and the trial runner.
class SequoraDlg : public QDialog {
    Q_OBJECT
public:
    /// Builds and initialises the window (log file opened, form shown).
    explicit SequoraDlg(SequoraDlgOptions options = {}, QWidget* parent = nullptr);
    /// Ends any run and waits for its worker before the client and list go.
    ~SequoraDlg() override;

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

public slots:
    /// Escape: closes without disconnecting; a run is ended first.
    void reject() override;

protected:
    /// The close box: disconnects, then closes.
    void closeEvent(QCloseEvent* event) override;
    /// Enter does nothing; everything else as in any dialog.
    void keyPressEvent(QKeyEvent* event) override;
    /// Notes clicks in the item list.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void SetTabOrder();
    void ConnectSignals();
    void InitialiseControls();
    void InitialiseItemList();
    void ReadComputerName();

    bool ReadForm();
    void ShowForm();
    void ShowMessage(const std::string& text);
    void ShowClientMessage(const std::string& text);

    void OnConnect();
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
    void OnListClicked(const QPoint& position);
    void OnStart();
    void OnPause();
    void OnStop();
    void OnRunContinuously(bool checked);
    void OnOpenCfg();
    void OnSaveCfg();

    void HighlightRow(int row);
    void ApplyRunControls();
    void EndRun();
    void SetReadOnly(int id, bool readOnly);
    void SetEnabled(int id, bool enabled);
    bool IsChecked(int id) const;

    QIcon mIcon;
    FormMembers mForm;
    FormBinding mFormBinding;
    std::map<int, QWidget*> mControls;
    QTreeView* mListView = nullptr;

    std::unique_ptr<Prompter> mPrompter;
    std::unique_ptr<RunClock> mOwnClock;
    RunClock* mClock = nullptr;

    comlux::ComluxClient mClient;
    ServerSession mSession{mClient};
    // Written by the window thread around its own client calls; read by a reading thread
    // that wants to show a box and must not wait for a window that waits for the client.
    std::atomic<bool> mInClientCall{false};

    ItemList mItems;
    ItemSelection mSelection{mItems};
    std::unique_ptr<ItemListModel> mModel;
    // The .cfg files opened but read only in part: Save refuses to write over them.
    PartlyReadFiles mPartlyRead;

    WindowThreadInvoker mInvoker{this};
    ComluxCommandSender mSender{mClient};
    std::unique_ptr<RunHost> mRunHost;
    std::unique_ptr<TrialRunner> mRunner;
};

}  // namespace sequora::gui
