#include "app/core/ItemList.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <utility>

namespace sequora {

namespace {
bool InRange(int index, std::size_t size) {
    return index >= 0 && static_cast<std::size_t>(index) < size;
}

// One row replaced by one: its texts changed.
ItemListChange RowChanged(int row) {
    return {row, 1, 1};
}
}  // namespace

int ItemList::AddItemRow(const ItemCells& cells) {
    int index = 0;
    {
        std::lock_guard guard(mLock);
        index = static_cast<int>(mRows.size());
        mRows.emplace_back(std::to_string(index + 1), cells);
    }
    NotifyChanged({index, 0, 1});
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
    NotifyChanged(RowChanged(row));
}

void ItemList::SetCellTexts(int row, std::initializer_list<std::pair<int, std::string_view>> cells) {
    {
        std::lock_guard guard(mLock);
        if (!InRange(row, mRows.size())) return;
        for (const auto& [column, text] : cells) mRows[row].SetCell(column, text);
    }
    NotifyChanged(RowChanged(row));
}

bool ItemList::RemoveRow(int row) {
    {
        std::lock_guard guard(mLock);
        if (!InRange(row, mRows.size())) return false;
        mRows.erase(mRows.begin() + row);
    }
    NotifyChanged({row, 1, 0});
    return true;
}

void ItemList::RemoveAll() {
    int removed = 0;
    {
        std::lock_guard guard(mLock);
        removed = static_cast<int>(mRows.size());
        mRows.clear();
    }
    NotifyChanged({0, removed, 0});
}

bool ItemList::SwapRows(int a, int b) {
    {
        std::lock_guard guard(mLock);
        if (!InRange(a, mRows.size()) || !InRange(b, mRows.size())) return false;
        std::swap(mRows[a], mRows[b]);
    }
    const int span = std::abs(a - b) + 1;
    NotifyChanged({std::min(a, b), span, span});
    return true;
}

bool ItemList::InsertRow(int index, const ItemRow& row) {
    {
        std::lock_guard guard(mLock);
        if (index < 0 || static_cast<std::size_t>(index) > mRows.size()) return false;
        mRows.insert(mRows.begin() + index, PackedRow(row));
    }
    NotifyChanged({index, 0, 1});
    return true;
}

bool ItemList::ReplaceRow(int index, const ItemRow& row) {
    {
        std::lock_guard guard(mLock);
        if (!InRange(index, mRows.size())) return false;
        mRows[index] = PackedRow(row);
    }
    NotifyChanged(RowChanged(index));
    return true;
}

void ItemList::SetRows(const std::vector<ItemRow>& rows) {
    std::deque<PackedRow> packed;
    for (const ItemRow& row : rows) packed.emplace_back(row);
    int removed = 0;
    {
        std::lock_guard guard(mLock);
        removed = static_cast<int>(mRows.size());
        mRows.swap(packed);
    }
    NotifyChanged({0, removed, static_cast<int>(rows.size())});
}

std::vector<PackedRow> ItemList::Splice(int first, int count, std::vector<PackedRow> rows) {
    std::vector<PackedRow> taken;
    ItemListChange change;
    {
        std::lock_guard guard(mLock);
        const auto size = static_cast<std::ptrdiff_t>(mRows.size());
        const std::ptrdiff_t from = std::clamp<std::ptrdiff_t>(first, 0, size);
        const std::ptrdiff_t to = from + std::clamp<std::ptrdiff_t>(count, 0, size - from);
        taken.assign(std::make_move_iterator(mRows.begin() + from),
                     std::make_move_iterator(mRows.begin() + to));
        const auto at = mRows.erase(mRows.begin() + from, mRows.begin() + to);
        // The standard library this is built with breaks the deque when an empty range is
        // inserted in its middle.
        if (!rows.empty()) {
            mRows.insert(at, std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
        }
        change = {static_cast<int>(from), static_cast<int>(to - from), static_cast<int>(rows.size())};
    }
    NotifyChanged(change);
    return taken;
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

void ItemList::NotifyChanged(const ItemListChange& change) {
    // Raised after the change, so that a reader who sees the new revision reads the new rows.
    ++mRevision;
    ChangeObserver observer;
    {
        std::lock_guard guard(mLock);
        observer = mObserver;
    }
    if (observer) observer(change);
}

}  // namespace sequora
