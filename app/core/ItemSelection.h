#pragma once

#include <optional>

#include "app/core/ItemList.h"

namespace sequora {

/// The row the user last clicked in the item list and the editing buttons that act on it.
/// Runs on the window's thread; the list it refers to must outlive it.
class ItemSelection {
public:
    /// Works on `list`, which it does not own.
    explicit ItemSelection(ItemList& list);

    /// The remembered row, -1 for none.
    int SelectedRow() const { return mSelectedRow; }
    /// A click on the list: remembers `row`, or -1 when the click hit no row of the list.
    void Click(int row);
    /// Move Item Up: the row to highlight afterwards, nullopt when nothing moved.
    std::optional<int> MoveUp();
    /// Move Item Down: the row to highlight afterwards, nullopt when nothing moved.
    std::optional<int> MoveDown();
    /// Remove Current Item: deletes the remembered row and forgets it; false when none.
    bool RemoveCurrent();
    /// Remove All Items: deletes every row and forgets the remembered row, since no row
    /// is highlighted any more and a later Move or Remove must not act on a row unseen.
    void RemoveAll();

private:
    ItemList& mList;
    int mSelectedRow = -1;
};

}  // namespace sequora
