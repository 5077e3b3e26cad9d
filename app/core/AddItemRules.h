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

/// What Add Item makes of the form: the eight cell texts, or the refusal message.
struct AddItemOutcome {
    std::optional<ItemCells> cells;  ///< columns 1 to 8 when the item may be added
    std::string refusal;             ///< the message to show when it may not
};

/// The message shown when the random delay range is reversed.
inline constexpr const char kDelayRangeRefusal[] =
    "Error, unable to add item, the delay range min value is greater than the max value";

/// Applies the Add Item rules to the form: only checked boxes contribute their fields.
AddItemOutcome BuildItemCells(const ItemForm& form);

}  // namespace sequora
