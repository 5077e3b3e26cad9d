#pragma once

#include <QObject>
#include <functional>

class QAction;
class QPoint;
class QTreeView;
class QWidget;

namespace sequora {
class ItemSelection;
}

namespace sequora::gui {

class ItemListModel;

/// The item list's view: the highlight of the remembered row (or of the run's row while a
/// run plays), the context menu, the mouse and keys of the list, and column widths that fit
/// what the columns hold. What the menu, a double click and Enter do to the rows is the
/// document's, reached through hooks.
///
/// Owns nothing but its context menus, which delete themselves on closing. Borrows the view
/// (the window's child), the window (the menus' parent), the model and the selection, the
/// Undo and Redo actions and whatever the hooks call; all must outlive it. The document
/// declares it after the model and the selection and before its undo history, so it goes
/// before the former and after the latter, whose steps remember rows through it. The
/// destructor cuts the view's signals and removes its event filters, so that nothing
/// reaches a view part partly destroyed. Window thread only.
class ListView : public QObject {
    Q_OBJECT
public:
    /// What the view asks of the document; all must outlive it.
    struct Hooks {
        std::function<bool()> runPlaying;    ///< the list highlights the run's row
        std::function<bool()> editsAllowed;  ///< the menu may change rows
        std::function<void(int row)> loadIntoForm;
        std::function<void(int row)> replaceWithForm;
        std::function<void(int row)> duplicate;
        std::function<void(int row)> remove;
    };

    /// Sets `view` up to show `model`, with the template's column widths.
    ListView(QTreeView& view, QWidget& window, ItemListModel& model, ItemSelection& selection, QAction& undo,
             QAction& redo, Hooks hooks);
    ~ListView() override;

    /// Remembers `row` (-1 for none) and highlights it.
    void Remember(int row);
    /// Highlights the remembered row, unless the run's row is shown.
    void ShowRemembered();
    /// Widens each column to what it holds, never below the template's width.
    void FitColumns();

    /// A run has started: the view shows the run's row instead of the remembered one.
    void RunStarted();
    /// The run plays `row` (0-based).
    void ShowRunRow(int row);
    /// The run is over: the remembered row is highlighted again.
    void RunEnded();

protected:
    /// Clicks and keys of the item list.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Highlight(int row);
    void OnSelectionChanged();
    void OnContextMenu(const QPoint& position);

    QTreeView& mView;
    QWidget& mWindow;
    ItemListModel& mModel;
    ItemSelection& mSelection;
    QAction& mUndoAction;
    QAction& mRedoAction;
    const Hooks mHooks;
    // Set while this moves the view's highlight itself, so that the view's own selection
    // changes are not taken for the user's.
    bool mShowingRemembered = false;
};

}  // namespace sequora::gui
