#include "app/gui/ListView.h"

#include <QAction>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTreeView>
#include <utility>

#include "app/core/ItemSelection.h"
#include "app/gui/ItemListModel.h"

namespace sequora::gui {

namespace {

// The list's context menu; Undo and Redo follow, as the window's actions name them.
const char kMenuLoad[] = "Load into Form";
const char kMenuReplace[] = "Replace with Form";
const char kMenuDuplicate[] = "Duplicate";
const char kMenuRemove[] = "Remove";

int LeastWidth(int column) {
    return ItemListModel::ColumnWidths()[static_cast<std::size_t>(column)];
}

bool IsEnterKey(const QKeyEvent* key) {
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

}  // namespace

ListView::ListView(QTreeView& view, QWidget& window, ItemListModel& model, ItemSelection& selection,
                   QAction& undo, QAction& redo, Hooks hooks)
    : mView(view),
      mWindow(window),
      mModel(model),
      mSelection(selection),
      mUndoAction(undo),
      mRedoAction(redo),
      mHooks(std::move(hooks)) {
    mView.setModel(&mModel);
    // Every row is one line high: the view need not measure rows, which keeps long lists fast.
    mView.setUniformRowHeights(true);
    for (int column = 0; column < kColumnCount; ++column)
        mView.header()->resizeSection(column, LeastWidth(column));
    mView.viewport()->installEventFilter(this);
    mView.installEventFilter(this);
    mView.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&mView, &QWidget::customContextMenuRequested, this, &ListView::OnContextMenu);
    connect(mView.selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ListView::OnSelectionChanged);
}

ListView::~ListView() {
    // The view outlives this, and would report a lost selection to it as the model goes.
    mView.viewport()->removeEventFilter(this);
    mView.removeEventFilter(this);
    mView.disconnect(this);
    if (mView.selectionModel()) mView.selectionModel()->disconnect(this);
}

void ListView::Remember(int row) {
    mSelection.Click(row);
    ShowRemembered();
}

void ListView::ShowRemembered() {
    // The highlighted row is always the remembered one, the row Remove and Move act on;
    // during a run the list highlights the run's row instead.
    if (mHooks.runPlaying()) return;
    const int row = mSelection.SelectedRow();
    if (row >= 0 && row < mModel.rowCount()) {
        Highlight(row);
    } else {
        mShowingRemembered = true;
        mView.selectionModel()->clearSelection();
        mShowingRemembered = false;
    }
}

void ListView::Highlight(int row) {
    mShowingRemembered = true;
    const QModelIndex index = mModel.index(row, 0);
    mView.selectionModel()->setCurrentIndex(index,
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    mView.scrollTo(index);
    mShowingRemembered = false;
}

void ListView::RunStarted() {
    // The list shows the run's row; the user's own highlight waits for the run's end.
    mView.setSelectionMode(QAbstractItemView::NoSelection);
}

void ListView::ShowRunRow(int row) {
    if (row < 0 || row >= mModel.rowCount()) return;
    Highlight(row);
}

void ListView::RunEnded() {
    mView.setSelectionMode(QAbstractItemView::SingleSelection);
    ShowRemembered();
}

void ListView::OnSelectionChanged() {
    if (mShowingRemembered || mModel.Refreshing() || mHooks.runPlaying()) return;
    // The user moved the highlight (mouse or keyboard): the highlighted row is remembered.
    const QModelIndexList rows = mView.selectionModel()->selectedRows();
    mSelection.Click(rows.size() == 1 ? rows.front().row() : -1);
}

void ListView::FitColumns() {
    // Wide enough for what the column holds, never narrower than the template's width.
    QHeaderView* header = mView.header();
    for (int column = 0; column < kColumnCount; ++column) {
        mView.resizeColumnToContents(column);
        if (header->sectionSize(column) < LeastWidth(column))
            header->resizeSection(column, LeastWidth(column));
    }
}

void ListView::OnContextMenu(const QPoint& position) {
    const QModelIndex index = mView.indexAt(position);
    auto* menu = new QMenu(&mWindow);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const bool editable = mHooks.editsAllowed();
    if (index.isValid()) {
        const int row = index.row();
        Remember(row);
        const auto add = [&](const char* text, const std::function<void(int)>& action) {
            return menu->addAction(QString::fromLatin1(text), this, [action, row] { action(row); });
        };
        add(kMenuLoad, mHooks.loadIntoForm);
        add(kMenuReplace, mHooks.replaceWithForm)->setEnabled(editable);
        add(kMenuDuplicate, mHooks.duplicate)->setEnabled(editable);
        add(kMenuRemove, mHooks.remove)->setEnabled(editable);
        menu->addSeparator();
    }
    menu->addAction(&mUndoAction);
    menu->addAction(&mRedoAction);
    menu->popup(mView.viewport()->mapToGlobal(position));
}

bool ListView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == mView.viewport() && event->type() == QEvent::MouseButtonRelease) {
        // The row under the pointer when the button comes up is remembered and highlighted,
        // wherever the press was.
        const auto* release = static_cast<QMouseEvent*>(event);
        const QModelIndex index = mView.indexAt(release->position().toPoint());
        Remember(index.isValid() ? index.row() : -1);
    }
    if (watched == mView.viewport() && event->type() == QEvent::MouseButtonDblClick) {
        const auto* click = static_cast<QMouseEvent*>(event);
        const QModelIndex index = mView.indexAt(click->position().toPoint());
        if (click->button() == Qt::LeftButton && index.isValid()) mHooks.loadIntoForm(index.row());
    }
    if (watched == &mView && event->type() == QEvent::KeyPress &&
        IsEnterKey(static_cast<QKeyEvent*>(event))) {
        mHooks.loadIntoForm(mSelection.SelectedRow());
        return true;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace sequora::gui
