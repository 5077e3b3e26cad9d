#pragma once

#include <optional>
#include <string>

#include "app/core/ItemList.h"

namespace sequora {

/// The form's values and check-box states that Add Item reads.
struct ItemForm {
    std::string eventString;      ///< edit "Event String"
    int bitNumber = 0;            ///< edit "Bit #"
    std::string command;          ///< edit "Command"
    int delayMs = 0;              ///< fixed delay edit
    int delayMin = 0;             ///< random delay minimum
    int delayMax = 0;             ///< random delay maximum
    bool sendEvent = false;       ///< check box "Send Event String"
    bool setBit = false;          ///< check box "Set TTL Bit"
    int bitStateIndex = 1;        ///< bit-state combo: 0 "On", 1 "Off", -1 nothing selected
    bool sendCommand = false;     ///< check box "Send Command"
    bool useRandomDelay = false;  ///< check box "Use Random Delay"
};

/// The form field that an Add Item refusal is about.
enum class RefusedField { None, BitNumber, DelayRange };

/// What Add Item makes of the form: the eight cell texts, or the refusal message.
struct AddItemOutcome {
    std::optional<ItemCells> cells;           ///< columns 1 to 8 when the item may be added
    std::string refusal;                      ///< the message to show when it may not
    RefusedField field = RefusedField::None;  ///< the field the refusal is about
};

/// The message shown when the random delay range is reversed.
inline constexpr const char kDelayRangeRefusal[] =
    "Error, unable to add item, the delay range min value is greater than the max value";
/// The message shown when a TTL bit number names no bit of the 32-bit port.
inline constexpr const char kBitNumberRefusal[] = "Enter a bit number from 0 to 31.";
/// The lowest and highest bit of the TTL port.
inline constexpr int kLowestBit = 0;
inline constexpr int kHighestBit = 31;

/// Applies the Add Item rules to the form: only checked boxes contribute their fields; a
/// reversed delay range and (with Set TTL Bit checked) a bit outside 0-31 are refused.
AddItemOutcome BuildItemCells(const ItemForm& form);

/// The bit-state entry that a text typed over the combo names: 0 "On", 1 "Off" (letter
/// case ignored), -1 for any other text, which Add Item records as "NA".
int BitStateEntry(const std::string& typed);

/// The longest delay the runner waits as written, in milliseconds.
inline constexpr long long kLongestDelayMs = 2147483647;

/// Why a delay typed into the form field `field` would not be waited as written (negative,
/// fractional, not a number, or beyond kLongestDelayMs): `Delay (ms): enter a whole number of
/// milliseconds from 0 to 2147483647, not "2.5".` nullopt when it would be.
std::optional<std::string> DelayRefusal(const std::string& field, const std::string& typed);

/// Why a bit state typed over the combo is refused (anything but On or Off, letter case
/// ignored): `Bit state: choose On or Off, not "NA".` nullopt for On and Off.
std::optional<std::string> BitStateRefusal(const std::string& typed);

/// A row's cells as form contents, for editing the row in place. A text field is nullopt
/// when its action is off: the form keeps what it shows there.
struct RowForm {
    bool sendEvent = false;                  ///< check box "Send Event String"
    std::optional<std::string> eventString;  ///< edit "Event String"
    bool setBit = false;                     ///< check box "Set TTL Bit"
    std::optional<std::string> bitNumber;    ///< edit "Bit #", as the cell holds it
    int bitStateIndex = -1;                  ///< bit-state combo entry, -1 for none ("NA")
    bool sendCommand = false;                ///< check box "Send Command"
    std::optional<std::string> command;      ///< edit "Command"
    bool useRandomDelay = false;             ///< check box "Use Random Delay"
    std::optional<std::string> delayMs;      ///< fixed delay edit (fixed delays only)
    std::optional<std::string> delayMin;     ///< random delay minimum (random delays only)
    std::optional<std::string> delayMax;     ///< random delay maximum (random delays only)
};

/// The form that Add Item would turn back into this row's cells (columns 1 to 8).
RowForm FormFromRow(const ItemRow& row);

}  // namespace sequora
