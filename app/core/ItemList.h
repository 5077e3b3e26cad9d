#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/core/ItemCells.h"
#include "app/core/PackedRow.h"

namespace sequora {

/// What one change of an ItemList did: the `removed` rows from `first` on were replaced by
/// `inserted` rows (a changed cell is one row replaced by one, an appended row none by one).
struct ItemListChange {
    int first = 0;
    int removed = 0;
    int inserted = 0;

    /// True when both describe the same change.
    bool operator==(const ItemListChange& other) const = default;
};

/// The experiment item list: rows of nine texts, the rows being the only record of the
/// items. Safe for one writer thread and any number of reader threads (a trial run reads
/// while a load appends); each operation locks internally. Rows are kept packed, so that a
/// list of millions of rows costs about as much memory as their text.
/// Threads: any thread; every operation takes mLock for its own duration only and calls the
/// change observer after releasing it; Revision reads an atomic counter without the lock.
class ItemList {
public:
    /// Called after every change, on the thread that made it, with no lock held.
    using ChangeObserver = std::function<void(const ItemListChange& change)>;

    /// Appends a row numbered one higher than the row count before it; returns its index.
    int AddItemRow(const ItemCells& cells);
    /// The number of rows.
    int RowCount() const;
    /// The text of a cell; empty for a row or column outside the list.
    std::string CellText(int row, int column) const;
    /// Sets the text of a cell; does nothing outside the list.
    void SetCellText(int row, int column, const std::string& text);
    /// Sets several cells of one row at once (a reader sees all or none of the changes);
    /// does nothing for a row outside the list, skips columns outside it.
    void SetCellTexts(int row, std::initializer_list<std::pair<int, std::string_view>> cells);
    /// Deletes one row; false when there is no such row. Other rows keep their "#" texts.
    bool RemoveRow(int row);
    /// Deletes every row.
    void RemoveAll();
    /// Exchanges all nine texts of two rows; false unless both are rows of the list.
    bool SwapRows(int a, int b);
    /// Inserts a whole row (its "#" text included) before `index`; `index` equal to the
    /// row count appends. False when `index` is outside 0..RowCount().
    bool InsertRow(int index, const ItemRow& row);
    /// Replaces all nine texts of one row; false when there is no such row.
    bool ReplaceRow(int index, const ItemRow& row);
    /// Replaces every row at once.
    void SetRows(const std::vector<ItemRow>& rows);
    /// Replaces the `count` rows from `first` on by `rows` (their "#" texts included) and
    /// returns the rows it took out; a range reaching past the end is cut at the end, and
    /// `first` past the end appends.
    std::vector<PackedRow> Splice(int first, int count, std::vector<PackedRow> rows);
    /// A copy of one row; nine empty texts for a row outside the list.
    ItemRow Row(int row) const;
    /// A copy of every row, taken under one lock.
    std::vector<ItemRow> Rows() const;
    /// A copy of every row in packed form, taken under one lock: a fraction of the memory
    /// of Rows() for a long list.
    std::vector<PackedRow> PackedRows() const;

    /// Grows with every change of the rows, before the change observer hears of it. A reader
    /// that keeps something made from rows notes the revision before reading them; while it
    /// stays the same, what it made is current. Takes no lock.
    std::uint64_t Revision() const { return mRevision.load(); }

    /// Installs the one change observer (replacing any earlier one).
    void SetChangeObserver(ChangeObserver observer);

private:
    void NotifyChanged(const ItemListChange& change);

    mutable std::mutex mLock;                 // guards mRows and mObserver
    std::deque<PackedRow> mRows;              // guarded by mLock; a deque grows without copying its rows
    ChangeObserver mObserver;                 // guarded by mLock
    std::atomic<std::uint64_t> mRevision{0};  // raised by the changing thread once its change is made
};

}  // namespace sequora
