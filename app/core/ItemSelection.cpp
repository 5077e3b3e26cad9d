#include "app/core/ItemSelection.h"

namespace sequora {

ItemSelection::ItemSelection(ItemList& list) : mList(list) {}

void ItemSelection::Click(int row) {
    mSelectedRow = (row >= 0 && row < mList.RowCount()) ? row : -1;
}

std::optional<int> ItemSelection::MoveUp() {
    if (mSelectedRow < 1 || mSelectedRow >= mList.RowCount()) return std::nullopt;
    if (!mList.SwapRows(mSelectedRow, mSelectedRow - 1)) return std::nullopt;
    return --mSelectedRow;
}

std::optional<int> ItemSelection::MoveDown() {
    if (mSelectedRow < 0 || mSelectedRow >= mList.RowCount() - 1) return std::nullopt;
    if (!mList.SwapRows(mSelectedRow, mSelectedRow + 1)) return std::nullopt;
    return ++mSelectedRow;
}

bool ItemSelection::RemoveCurrent() {
    if (mSelectedRow == -1) return false;
    const bool removed = mList.RemoveRow(mSelectedRow);
    mSelectedRow = -1;
    return removed;
}

void ItemSelection::RemoveAll() {
    mList.RemoveAll();
    mSelectedRow = -1;
}

}  // namespace sequora
