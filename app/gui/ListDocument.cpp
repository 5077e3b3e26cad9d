#include "app/gui/ListDocument.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTreeView>
#include <algorithm>
#include <utility>

#include "app/gui/CfgFiles.h"
#include "app/gui/DialogControls.h"
#include "app/gui/DialogTemplate.h"
#include "app/gui/ItemFormPanel.h"
#include "app/gui/ItemListModel.h"
#include "app/gui/ListEdit.h"
#include "app/gui/ListView.h"
#include "app/gui/LocalText.h"
#include "app/gui/Prompter.h"
#include "app/gui/StatusTexts.h"
#include "app/gui/WindowSettings.h"

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

// Names of the list edits in the undo history.
const char kEditAdd[] = "Add Item";
const char kEditRemoveAll[] = "Remove All Items";
const char kEditRemove[] = "Remove Item";
const char kEditMove[] = "Move Item";
const char kEditOpen[] = "Open .cfg File";
const char kEditReplace[] = "Replace Item";
const char kEditDuplicate[] = "Duplicate Item";

// The window's actions, also at the foot of the list's context menu.
const char kMenuUndo[] = "Undo";
const char kMenuRedo[] = "Redo";

constexpr QKeyCombination kUndoKeys = Qt::CTRL | Qt::Key_Z;
constexpr QKeyCombination kRedoKeys = Qt::CTRL | Qt::SHIFT | Qt::Key_Z;

}  // namespace

ListDocument::ListDocument(QWidget& window, const DialogControls& controls, ItemFormPanel& form,
                           Prompter& prompter, WindowSettings& settings, RememberedState& remembered,
                           std::chrono::milliseconds loadPausePerLine, Hooks hooks)
    : mWindow(window),
      mControls(controls),
      mForm(form),
      mPrompter(prompter),
      mSettings(settings),
      mRemembered(remembered),
      mHooks(std::move(hooks)),
      mLoadPausePerLine(loadPausePerLine) {}

ListDocument::~ListDocument() {
    // The order is the class comment's.
    mLoader.reset();
    mUndoStack.disconnect(this);
    if (mModel) mModel->disconnect(this);
}

void ListDocument::Initialise() {
    mModel = std::make_unique<ItemListModel>(mItems);
    mLoader = std::make_unique<ListLoader>(
        mItems, *mModel, mLoadPausePerLine, [this](const CfgLoadResult& result) { OnLoadFinished(result); },
        [this] { OnLoadProgress(); });
    connect(mModel.get(), &ItemListModel::Refreshed, this, &ListDocument::OnListRefreshed);

    const auto onClick = [this](int id, void (ListDocument::*handler)()) {
        connect(mControls.As<QPushButton>(id), &QPushButton::clicked, this, handler);
    };
    onClick(kIdAddItem, &ListDocument::OnAddItem);
    onClick(kIdRemoveAll, &ListDocument::OnRemoveAll);
    onClick(kIdRemoveCurrent, &ListDocument::OnRemoveCurrent);
    onClick(kIdMoveUp, &ListDocument::OnMoveUp);
    onClick(kIdMoveDown, &ListDocument::OnMoveDown);
    onClick(kIdOpenCfg, &ListDocument::OnOpenCfg);
    onClick(kIdSaveCfg, &ListDocument::OnSaveCfg);

    mUndoAction = new QAction(QString::fromLatin1(kMenuUndo), &mWindow);
    mUndoAction->setShortcut(QKeySequence(kUndoKeys));
    connect(mUndoAction, &QAction::triggered, this, &ListDocument::OnUndo);
    mRedoAction = new QAction(QString::fromLatin1(kMenuRedo), &mWindow);
    mRedoAction->setShortcut(QKeySequence(kRedoKeys));
    connect(mRedoAction, &QAction::triggered, this, &ListDocument::OnRedo);
    mWindow.addAction(mUndoAction);
    mWindow.addAction(mRedoAction);
    MakeView();
    connect(&mUndoStack, &QUndoStack::canUndoChanged, this, &ListDocument::UpdateUndoActions);
    connect(&mUndoStack, &QUndoStack::canRedoChanged, this, &ListDocument::UpdateUndoActions);
    // The history moves after an undo or redo has changed the list: the title follows it then.
    connect(&mUndoStack, &QUndoStack::indexChanged, this, &ListDocument::UpdateTitle);
    connect(&mUndoStack, &QUndoStack::cleanChanged, this, &ListDocument::UpdateTitle);
    UpdateUndoActions();
}

void ListDocument::MakeView() {
    ListView::Hooks view;
    view.runPlaying = mHooks.runPlaying;
    view.editsAllowed = [this] { return EditsAllowed(); };
    view.loadIntoForm = [this](int row) { LoadRowIntoForm(row); };
    view.replaceWithForm = [this](int row) { ReplaceRowWithForm(row); };
    view.duplicate = [this](int row) { DuplicateRow(row); };
    view.remove = [this](int row) { RemoveRow(row); };
    mListView = std::make_unique<ListView>(*mControls.As<QTreeView>(kIdItemList), mWindow, *mModel,
                                           mSelection, *mUndoAction, *mRedoAction, std::move(view));
}

void ListDocument::AddLoadStatus(QStatusBar* statusBar) {
    mLoadStatus = new QLabel(statusBar);
    mLoadCancel = new QPushButton(QString::fromLatin1(status_texts::kCancelLoad), statusBar);
    mLoadCancel->setFocusPolicy(Qt::NoFocus);
    connect(mLoadCancel, &QPushButton::clicked, this, &ListDocument::CancelLoad);
    statusBar->addPermanentWidget(mLoadStatus);
    statusBar->addPermanentWidget(mLoadCancel);
    mLoadStatus->hide();
    mLoadCancel->hide();
}

bool ListDocument::HasUnsavedChanges() const {
    // Every change of the list is a step of the undo history, so the list is as last opened
    // or saved exactly when the history is back at the step marked then.
    return !mUndoStack.isClean();
}

QString ListDocument::LoadStatus() const {
    return mLoadStatus->isVisibleTo(&mWindow) ? mLoadStatus->text() : QString();
}

bool ListDocument::EditsAllowed() const {
    // A load appends to the list as it reads: nothing else may change it meanwhile.
    return mHooks.runAllowsEdits() && !Loading();
}

// ---- edits and the undo history -----------------------------------------------------

void ListDocument::EditList(const QString& text, const std::function<void()>& change) {
    const std::vector<PackedRow> before = mItems.PackedRows();
    const int rememberedBefore = mSelection.SelectedRow();
    change();
    const std::vector<PackedRow> after = mItems.PackedRows();
    const int rememberedAfter = mSelection.SelectedRow();
    mListView->ShowRemembered();
    if (before == after) return;

    // Only the stretch that differs is kept for undo, between an unchanged head and tail.
    const std::size_t shorter = std::min(before.size(), after.size());
    std::size_t head = 0;
    while (head < shorter && before[head] == after[head]) ++head;
    std::size_t tail = 0;
    while (tail < shorter - head && before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
        ++tail;
    mUndoStack.push(new ListEdit(
        text, mItems, [this](int row) { mListView->Remember(row); }, static_cast<int>(head),
        std::vector<PackedRow>(before.begin() + static_cast<std::ptrdiff_t>(head),
                               before.end() - static_cast<std::ptrdiff_t>(tail)),
        static_cast<int>(after.size() - head - tail), rememberedBefore, rememberedAfter));
}

void ListDocument::OnUndo() {
    if (EditsAllowed()) mUndoStack.undo();
}

void ListDocument::OnRedo() {
    if (EditsAllowed()) mUndoStack.redo();
}

void ListDocument::UpdateUndoActions() {
    // Undo and redo change rows a run may be reading, like the list buttons.
    const bool allowed = EditsAllowed();
    mUndoAction->setEnabled(allowed && mUndoStack.canUndo());
    mRedoAction->setEnabled(allowed && mUndoStack.canRedo());
}

void ListDocument::OnAddItem() {
    if (!EditsAllowed()) return;
    const std::optional<ItemCells> cells = mForm.CellsFromForm();
    if (!cells) return;
    EditList(QString::fromLatin1(kEditAdd), [&] { mItems.AddItemRow(*cells); });
}

void ListDocument::OnRemoveAll() {
    if (!EditsAllowed()) return;
    EditList(QString::fromLatin1(kEditRemoveAll), [this] { mSelection.RemoveAll(); });
}

void ListDocument::OnRemoveCurrent() {
    if (!EditsAllowed()) return;
    EditList(QString::fromLatin1(kEditRemove), [this] { mSelection.RemoveCurrent(); });
}

void ListDocument::OnMoveUp() {
    if (!EditsAllowed()) return;
    EditList(QString::fromLatin1(kEditMove), [this] { mSelection.MoveUp(); });
}

void ListDocument::OnMoveDown() {
    if (!EditsAllowed()) return;
    EditList(QString::fromLatin1(kEditMove), [this] { mSelection.MoveDown(); });
}

void ListDocument::ReplaceRowWithForm(int row) {
    if (!EditsAllowed()) return;
    const std::optional<ItemCells> cells = mForm.CellsFromForm();
    if (!cells) return;
    if (row < 0 || row >= mItems.RowCount()) return;
    ItemRow replaced = mItems.Row(row);
    std::copy(cells->begin(), cells->end(), replaced.begin() + 1);
    EditList(QString::fromLatin1(kEditReplace), [&] {
        mItems.ReplaceRow(row, replaced);
        mSelection.Click(row);
    });
}

void ListDocument::DuplicateRow(int row) {
    if (!EditsAllowed()) return;
    if (row < 0 || row >= mItems.RowCount()) return;
    ItemRow copy = mItems.Row(row);
    // Numbered like any row added now; placed right below its original.
    copy[kColNumber] = std::to_string(mItems.RowCount() + 1);
    EditList(QString::fromLatin1(kEditDuplicate), [&] {
        mItems.InsertRow(row + 1, copy);
        mSelection.Click(row + 1);
    });
}

void ListDocument::RemoveRow(int row) {
    if (!EditsAllowed()) return;
    EditList(QString::fromLatin1(kEditRemove), [&] {
        mSelection.Click(row);
        mSelection.RemoveCurrent();
    });
}

void ListDocument::LoadRowIntoForm(int row) {
    if (row < 0 || row >= mItems.RowCount()) return;
    mForm.LoadRow(mItems.Row(row));
}

void ListDocument::OnListRefreshed() {
    if (mSelection.SelectedRow() >= mModel->rowCount()) mSelection.Click(-1);
    UpdateTitle();
    // A load's slices leave the highlight where it is and the view where the user scrolled,
    // and measuring the columns after each slice would cost more than the slice: the end of
    // the load does both.
    if (Loading()) return;
    if (!mHooks.runPlaying()) mListView->ShowRemembered();
    mListView->FitColumns();
}

void ListDocument::UpdateTitle() {
    QString title = mFilePath.isEmpty()
                        ? QString::fromLatin1(kMainWindowCaption.data(),
                                              static_cast<qsizetype>(kMainWindowCaption.size()))
                        : QString::fromUtf8(kTitleWithFile).arg(QFileInfo(mFilePath).fileName());
    if (HasUnsavedChanges()) title += QString::fromLatin1(kUnsavedMark);
    mWindow.setWindowTitle(title);
}

// ---- .cfg files ---------------------------------------------------------------------

void ListDocument::OnOpenCfg() {
    if (Loading()) return;
    const QString path = mPrompter.OpenFileName(QString::fromLatin1(kOpenTitle),
                                                QString::fromLatin1(kOpenFilter), mRemembered.lastFolder);
    if (path.isEmpty()) return;
    NoteFolderOf(path);
    Open(path);
}

void ListDocument::Open(const QString& path) {
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
    if (Loading()) mHooks.loadingChanged();
}

void ListDocument::OnLoadProgress() {
    if (mLoader->Elapsed() < kLoadProgressAfter) return;
    // Once, when the load turns out long: the first rows give the columns their widths.
    if (mLoadStatus->isHidden()) mListView->FitColumns();
    mLoadStatus->setText(FromLocal(status_texts::Loading(ToLocal(QFileInfo(mLoadPath).fileName()),
                                                         mLoader->Percent(), mLoader->ItemsLoaded())));
    mLoadStatus->show();
    mLoadCancel->show();
}

void ListDocument::CancelLoad() {
    mLoader->Cancel();
}

void ListDocument::OnLoadFinished(const CfgLoadResult& result) {
    mLoadStatus->hide();
    mLoadCancel->hide();
    mLoadStatus->clear();
    const std::string file = ToFilePath(mLoadPath);
    if (result.end == CfgLoadResult::End::Unopened) {
        // Nothing was read: the list and the title stay as they were.
        mLoadReplaced.clear();
        mPrompter.ShowMessage(
            FromLocal(CannotOpenMessage(ToLocal(QFileInfo(mLoadPath).fileName()), result.reason)));
        mHooks.loadEnded(result);
        return;
    }
    // The whole load is one step of the undo history, whether it read all, part or nothing.
    const int changed = mItems.RowCount() - mLoadFirstRow;
    const bool lastRowKept =
        mLoadReplaced.empty() || PackedRow(mItems.Row(mLoadFirstRow)) == mLoadReplaced.front();
    if (changed != static_cast<int>(mLoadReplaced.size()) || !lastRowKept) {
        mUndoStack.push(new ListEdit(
            QString::fromLatin1(kEditOpen), mItems, [this](int row) { mListView->Remember(row); },
            mLoadFirstRow, std::move(mLoadReplaced), changed, mLoadRememberedBefore,
            mSelection.SelectedRow()));
    }
    mLoadReplaced.clear();
    mPartlyRead.Note(file, result);
    mHooks.fileOpened(file);
    if (result.Partial()) mPrompter.ShowMessage(FromLocal(result.StopMessage(file)));
    // Opened whole into an empty list, the list is the file's; appended or read only in
    // part, it is neither file.
    if (mLoadIntoEmpty && !result.Partial()) {
        mUndoStack.setClean();
        mFilePath = mLoadPath;
    }
    if (!mHooks.runPlaying()) mListView->ShowRemembered();
    UpdateTitle();
    mListView->FitColumns();
    mHooks.loadEnded(result);
}

void ListDocument::OnSaveCfg() {
    if (Loading()) return;
    SaveAs();
}

bool ListDocument::SaveAs() {
    const QString path = mPrompter.SaveFileName(QString::fromLatin1(kSaveTitle),
                                                QString::fromLatin1(kSaveFilter), mRemembered.lastFolder);
    if (path.isEmpty()) return false;
    NoteFolderOf(path);
    const std::string file = ToFilePath(path);
    if (mPartlyRead.Holds(file)) {
        mPrompter.ShowMessage(FromLocal(SaveOverPartlyReadMessage(file)));
        return false;
    }
    std::string failure;
    if (!SaveCfgFile(file, mItems.Rows(), failure)) {
        mPrompter.ShowMessage(FromLocal(failure));
        return false;
    }
    mUndoStack.setClean();
    mFilePath = path;
    UpdateTitle();
    return true;
}

void ListDocument::NoteFolderOf(const QString& path) {
    mRemembered.lastFolder = QFileInfo(path).absolutePath();
    mSettings.SaveLastFolder(mRemembered.lastFolder);
}

}  // namespace sequora::gui
