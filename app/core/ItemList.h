#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/core/ItemCells.h"

namespace sequora {

/// The experiment item list: rows of nine texts, the rows being the only record of the
/// items. Safe for one writer thread and any number of reader threads (a trial run reads
/// while a load appends); each operation locks internally.
class ItemList {
public:
    /// Called after every change, on the thread that made it, with no lock held.
    using ChangeObserver = std::function<void()>;

    /// Appends a row numbered one higher than the row count before it; returns its index.
    int AddItemRow(const ItemCells& cells);
    /// The number of rows.
    int RowCount() const;
    /// The text of a cell; empty for a row or column outside the list.
    std::string CellText(int row, int column) const;
    /// Sets the text of a cell; does nothing outside the list.
    void SetCellText(int row, int column, const std::string& text);
    /// Deletes one row; false when there is no such row. Other rows keep their "#" texts.
    bool RemoveRow(int row);
    /// Deletes every row.
    void RemoveAll();
    /// Exchanges all nine texts of two rows; false unless both are rows of the list.
    bool SwapRows(int a, int b);
    /// A copy of every row, taken under one lock.
    std::vector<ItemRow> Rows() const;

    /// Installs the one change observer (replacing any earlier one).
    void SetChangeObserver(ChangeObserver observer);

private:
    void NotifyChanged();

    mutable std::mutex mLock;  // guards mRows and mObserver
    std::vector<ItemRow> mRows;
    ChangeObserver mObserver;
};

}  // namespace sequora
