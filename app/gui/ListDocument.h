#pragma once

#include <QObject>
#include <QString>
#include <QUndoStack>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/core/CfgSetup.h"
#include "app/core/ItemList.h"
#include "app/core/ItemSelection.h"
#include "app/core/PartlyReadFiles.h"
#include "app/gui/ListLoader.h"

class QAction;
class QLabel;
class QPushButton;
class QStatusBar;
class QWidget;

namespace sequora::gui {

class DialogControls;
class ItemFormPanel;
class ItemListModel;
class ListView;
class Prompter;
class WindowSettings;
struct RememberedState;

/// The item list as a document: its rows, the remembered row, the undo history of its edits,
/// the file it was opened from or saved to (and the window title that names it), the files
/// read only in part, the load of a .cfg file in slices with its status text, and Save. The
/// list buttons, the list's context menu, Undo/Redo and Open/Save act here; the view of the
/// rows (highlight, menu, mouse and keys, column widths) is its ListView.
///
/// Owns the list, the selection, the model, the list's view, the undo history, the loader
/// and the load state. Borrows the window (title, actions, menus), its controls, the item
/// form, the prompter, the settings and their remembered state, and whatever the hooks
/// call; all must outlive it. The runner and the loader refer to the list: the window
/// destroys the run panel before this, and the loader goes first among this one's own
/// members. The undo history goes before the list's view (its steps remember rows through
/// the view), the view before the model and the selection it borrows. The tree view is the
/// window's child and outlives this; the destructor cuts every signal to this (the undo
/// history clears itself as it goes) and the list's view cuts the tree view's, so that
/// nothing reaches a document partly destroyed. Window thread only.
class ListDocument : public QObject {
    Q_OBJECT
public:
    /// What the document asks of the rest of the window; all must outlive it.
    struct Hooks {
        std::function<bool()> runPlaying;                            ///< the list highlights the run's row
        std::function<bool()> runAllowsEdits;                        ///< the run leaves the list alone
        std::function<void()> loadingChanged;                        ///< a load began
        std::function<void(const std::string& file)> fileOpened;     ///< a load read `file`, whole or in part
        std::function<void(const CfgLoadResult& result)> loadEnded;  ///< a load ended, the list shown
    };

    ListDocument(QWidget& window, const DialogControls& controls, ItemFormPanel& form, Prompter& prompter,
                 WindowSettings& settings, RememberedState& remembered,
                 std::chrono::milliseconds loadPausePerLine, Hooks hooks);
    ~ListDocument() override;

    /// Sets the view up, connects the list buttons and adds Undo and Redo to the window.
    void Initialise();
    /// Puts the load's text and its Cancel button into the status bar.
    void AddLoadStatus(QStatusBar* statusBar);

    ItemList& Items() { return mItems; }
    QUndoStack& UndoStack() { return mUndoStack; }
    /// The remembered row, -1 for none.
    int SelectedRow() const { return mSelection.SelectedRow(); }
    /// The file last opened whole or saved; empty for none.
    const QString& FilePath() const { return mFilePath; }
    /// True when the list differs from what was last opened or saved.
    bool HasUnsavedChanges() const;

    /// Opens `path` into the list (appended to what it holds) unless a load is under way.
    void Open(const QString& path);
    /// Asks for a file name and saves the list there; false when nothing was saved.
    bool SaveAs();
    /// True while a .cfg file is being opened.
    bool Loading() const { return mLoader->Loading(); }
    /// Ends the load under way as the status bar's Cancel does.
    void CancelLoad();
    /// Ends the load under way without a word (the window is going away).
    void AbandonLoad() { mLoader->Abandon(); }
    /// The load text, empty while hidden.
    QString LoadStatus() const;

    /// Enables Undo and Redo as far as the history and the run allow.
    void UpdateUndoActions();
    /// The title shows the file and whether it has unsaved changes.
    void UpdateTitle();

    /// The view of the rows; it shows the run's row while a run plays.
    ListView& View() { return *mListView; }

private:
    void MakeView();
    bool EditsAllowed() const;
    void EditList(const QString& text, const std::function<void()>& change);
    void OnAddItem();
    void OnRemoveAll();
    void OnRemoveCurrent();
    void OnMoveUp();
    void OnMoveDown();
    void OnUndo();
    void OnRedo();
    void OnOpenCfg();
    void OnSaveCfg();
    void OnLoadProgress();
    void OnLoadFinished(const CfgLoadResult& result);
    void NoteFolderOf(const QString& path);
    void OnListRefreshed();
    void LoadRowIntoForm(int row);
    void ReplaceRowWithForm(int row);
    void DuplicateRow(int row);
    void RemoveRow(int row);

    QWidget& mWindow;
    const DialogControls& mControls;
    ItemFormPanel& mForm;
    Prompter& mPrompter;
    WindowSettings& mSettings;
    RememberedState& mRemembered;
    const Hooks mHooks;
    QLabel* mLoadStatus = nullptr;       // the status bar's child
    QPushButton* mLoadCancel = nullptr;  // the status bar's child
    QAction* mUndoAction = nullptr;      // the window's child
    QAction* mRedoAction = nullptr;      // the window's child

    ItemList mItems;
    ItemSelection mSelection{mItems};
    std::unique_ptr<ItemListModel> mModel;
    std::unique_ptr<ListView> mListView;  // after mModel and mSelection, before mUndoStack
    QUndoStack mUndoStack;
    // The file last opened whole or saved; the undo history's clean state is the list as it
    // was then.
    QString mFilePath;
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
};

}  // namespace sequora::gui
