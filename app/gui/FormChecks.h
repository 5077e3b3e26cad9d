#pragma once

#include <array>
#include <optional>
#include <string>

#include "app/gui/DialogTemplate.h"

namespace sequora::gui {

/// A delay field of the form: its control, the name its label gives it, and whether it
/// counts with Use Random Delay ticked (the range) or unticked (the fixed delay).
struct DelayField {
    int id;
    const char* name;
    bool random;
};

/// The form's delay fields.
inline constexpr std::array kDelayFields{
    DelayField{kIdDelay, "Delay Post Trial Action (ms)", false},
    DelayField{kIdDelayMin, "Delay Range: Min", true},
    DelayField{kIdDelayMax, "Delay Range: Max", true},
};

/// The delay a field's text gives as the runner would wait it: whole milliseconds from 0 to
/// 2147483647, digits only (blanks around them allowed); nullopt for any other text.
std::optional<int> ReadDelayField(const std::string& text);

/// "<field>: enter a whole number of milliseconds from 0 to 2147483647."
std::string DelayFieldRefusal(const std::string& field);

/// The message when Set TTL Bit is ticked and the bit state is neither On nor Off.
inline constexpr const char kBitStateRefusal[] = "Bit State: choose On or Off.";

}  // namespace sequora::gui
