#include "app/core/ItemList.h"

#include <algorithm>
#include <utility>

namespace sequora {

namespace {
bool InRange(int index, std::size_t size) {
    return index >= 0 && static_cast<std::size_t>(index) < size;
}
}  // namespace

int ItemList::AddItemRow(const ItemCells& cells) {
    int index = 0;
    {
        std::lock_guard guard(mLock);
        index = static_cast<int>(mRows.size());
        ItemRow row;
        row[kColNumber] = std::to_string(index + 1);
        std::copy(cells.begin(), cells.end(), row.begin() + 1);
        mRows.push_back(std::move(row));
    }
    NotifyChanged();
    return index;
}

int ItemList::RowCount() const {
    std::lock_guard guard(mLock);
    return static_cast<int>(mRows.size());
}

std::string ItemList::CellText(int row, int column) const {
    std::lock_guard guard(mLock);
    if (!InRange(row, mRows.size()) || !InRange(column, kColumnCount)) return {};
    return mRows[row][column];
}

void ItemList::SetCellText(int row, int column, const std::string& text) {
    {
        std::lock_guard guard(mLock);
        if (!InRange(row, mRows.size()) || !InRange(column, kColumnCount)) return;
        mRows[row][column] = text;
    }
    NotifyChanged();
}

bool ItemList::RemoveRow(int row) {
    {
        std::lock_guard guard(mLock);
        if (!InRange(row, mRows.size())) return false;
        mRows.erase(mRows.begin() + row);
    }
    NotifyChanged();
    return true;
}

void ItemList::RemoveAll() {
    {
        std::lock_guard guard(mLock);
        mRows.clear();
    }
    NotifyChanged();
}

bool ItemList::SwapRows(int a, int b) {
    {
        std::lock_guard guard(mLock);
        if (!InRange(a, mRows.size()) || !InRange(b, mRows.size())) return false;
        std::swap(mRows[a], mRows[b]);
    }
    NotifyChanged();
    return true;
}

bool ItemList::InsertRow(int index, const ItemRow& row) {
    {
        std::lock_guard guard(mLock);
        if (index < 0 || static_cast<std::size_t>(index) > mRows.size()) return false;
        mRows.insert(mRows.begin() + index, row);
    }
    NotifyChanged();
    return true;
}

bool ItemList::ReplaceRow(int index, const ItemRow& row) {
    {
        std::lock_guard guard(mLock);
        if (!InRange(index, mRows.size())) return false;
        mRows[index] = row;
    }
    NotifyChanged();
    return true;
}

void ItemList::SetRows(std::vector<ItemRow> rows) {
    {
        std::lock_guard guard(mLock);
        mRows.swap(rows);
    }
    NotifyChanged();
}

ItemRow ItemList::Row(int row) const {
    std::lock_guard guard(mLock);
    if (!InRange(row, mRows.size())) return {};
    return mRows[row];
}

std::vector<ItemRow> ItemList::Rows() const {
    std::lock_guard guard(mLock);
    return mRows;
}

void ItemList::SetChangeObserver(ChangeObserver observer) {
    std::lock_guard guard(mLock);
    mObserver = std::move(observer);
}

void ItemList::NotifyChanged() {
    ChangeObserver observer;
    {
        std::lock_guard guard(mLock);
        observer = mObserver;
    }
    if (observer) observer();
}

}  // namespace sequora
