#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "app/gui/DialogTemplate.h"

namespace sequora::gui {

/// A delay field of the form: its control, the name its label gives it, and whether it
/// counts with Use Random Delay ticked (the range) or unticked (the fixed delay).
struct DelayField {
    int id;
    std::string_view name;
    bool random;
};

/// The form's delay fields (the maximum's own label says only "Max").
inline constexpr std::array kDelayFields{
    DelayField{kIdDelay, kDelayLabel, false},
    DelayField{kIdDelayMin, kDelayMinLabel, true},
    DelayField{kIdDelayMax, "Delay Range: Max", true},
};

/// The delay a field's text gives as the runner would wait it: whole milliseconds from 0 to
/// 2147483647, digits only (blanks around them allowed); nullopt for any other text.
std::optional<int> ReadDelayField(const std::string& text);

/// "<field>: enter a whole number of milliseconds from 0 to 2147483647."
std::string DelayFieldRefusal(std::string_view field);

/// "Bit State: choose On or Off.", when Set TTL Bit is ticked and the state is neither.
std::string BitStateRefusal();

}  // namespace sequora::gui
