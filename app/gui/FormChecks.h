#pragma once

#include <array>
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

}  // namespace sequora::gui
