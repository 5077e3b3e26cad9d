#pragma once

#include <array>
#include <string>

namespace sequora {

/// Columns of an experiment item row.
enum ItemColumn : int {
    kColNumber = 0,
    kColSendEvent,
    kColEventString,
    kColSetBit,
    kColBitNumber,
    kColBitState,
    kColSendCommand,
    kColCommand,
    kColDelay,
    kColumnCount
};

/// The nine cell texts of one row, column "#" first.
using ItemRow = std::array<std::string, kColumnCount>;
/// The texts of columns 1 to 8, as Add Item and the .cfg reader hand them over.
using ItemCells = std::array<std::string, kColumnCount - 1>;

/// The words the cells hold: the list shows them, .cfg files store them; what they mean is
/// app/core/RowPlan.h.
namespace cell_words {
inline constexpr char kYes[] = "Yes";               ///< an action the row takes
inline constexpr char kNo[] = "No";                 ///< an action the row does not take
inline constexpr char kNotApplicable[] = "NA";      ///< filler of a field whose action is off
inline constexpr char kOn[] = "On";                 ///< the bit is set
inline constexpr char kOff[] = "Off";               ///< the bit is reset
inline constexpr char kRandomMarker[] = "Random:";  ///< begins a random delay, "Random: <min>-<max>"
}  // namespace cell_words

/// Columns 1 to 8 of a row that takes no action and waits 0 ms: what a new item starts from.
ItemCells BlankItemCells();

}  // namespace sequora
