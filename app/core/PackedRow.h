#pragma once

#include <string>
#include <string_view>

#include "app/core/ItemCells.h"

namespace sequora {

/// One item row kept compactly: a cell holding a cell word ("Yes", "NA", "0", ...) takes
/// one byte, a decimal number a byte and its value, any other text its length and its
/// bytes, all in one string. A row of words and numbers (what a bare "-CreateTrialItem"
/// adds) fits in the string itself without a heap block; a row costs about its text.
/// Threads: a plain value; whoever holds it guards it.
class PackedRow {
public:
    /// A row of nine empty cells.
    PackedRow();
    /// The row with these nine texts.
    explicit PackedRow(const ItemRow& row);
    /// The row with this "#" text and these texts of columns 1 to 8.
    PackedRow(std::string_view number, const ItemCells& cells);

    /// The nine texts.
    ItemRow Unpack() const;
    /// The text of one cell; empty for a column outside the row.
    std::string Cell(int column) const;
    /// Sets the text of one cell; does nothing for a column outside the row.
    void SetCell(int column, std::string_view text);

    /// True when every cell holds the same text.
    bool operator==(const PackedRow& other) const = default;

private:
    std::size_t CellStart(int column) const;
    std::size_t CellEnd(std::size_t start) const;

    std::string mBytes;  // the nine cells one after the other
};

}  // namespace sequora
