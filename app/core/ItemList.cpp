#include "app/core/ItemList.h"

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
        mRows.emplace_back(std::to_string(index + 1), cells);
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
    return mRows[row].Cell(column);
}

void ItemList::SetCellText(int row, int column, const std::string& text) {
    {
        std::lock_guard guard(mLock);
        if (!InRange(row, mRows.size()) || !InRange(column, kColumnCount)) return;
        mRows[row].SetCell(column, text);
    }
    NotifyChanged();
}

void ItemList::SetCellTexts(int row, std::initializer_list<std::pair<int, std::string_view>> cells) {
    {
        std::lock_guard guard(mLock);
        if (!InRange(row, mRows.size())) return;
        for (const auto& [column, text] : cells) mRows[row].SetCell(column, text);
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
        mRows.insert(mRows.begin() + index, PackedRow(row));
    }
    NotifyChanged();
    return true;
}

bool ItemList::ReplaceRow(int index, const ItemRow& row) {
    {
        std::lock_guard guard(mLock);
        if (!InRange(index, mRows.size())) return false;
        mRows[index] = PackedRow(row);
    }
    NotifyChanged();
    return true;
}

void ItemList::SetRows(const std::vector<ItemRow>& rows) {
    std::deque<PackedRow> packed;
    for (const ItemRow& row : rows) packed.emplace_back(row);
    {
        std::lock_guard guard(mLock);
        mRows.swap(packed);
    }
    NotifyChanged();
}

ItemRow ItemList::Row(int row) const {
    std::lock_guard guard(mLock);
    if (!InRange(row, mRows.size())) return {};
    return mRows[row].Unpack();
}

std::vector<ItemRow> ItemList::Rows() const {
    std::lock_guard guard(mLock);
    std::vector<ItemRow> rows;
    rows.reserve(mRows.size());
    for (const PackedRow& row : mRows) rows.push_back(row.Unpack());
    return rows;
}

std::vector<PackedRow> ItemList::PackedRows() const {
    std::lock_guard guard(mLock);
    return {mRows.begin(), mRows.end()};
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
