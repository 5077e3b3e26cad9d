#include "app/gui/FormChecks.h"

#include <climits>

#include "app/core/ItemCells.h"

namespace sequora::gui {

namespace {

const char kBlanks[] = " \t";

}  // namespace

std::optional<int> ReadDelayField(const std::string& text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) return std::nullopt;
    const std::size_t last = text.find_last_not_of(kBlanks);
    long long value = 0;
    for (std::size_t at = first; at <= last; ++at) {
        const char digit = text[at];
        if (digit < '0' || digit > '9') return std::nullopt;
        value = value * 10 + (digit - '0');
        if (value > INT_MAX) return std::nullopt;
    }
    return static_cast<int>(value);
}

std::string DelayFieldRefusal(std::string_view field) {
    return std::string(field) + ": enter a whole number of milliseconds from 0 to " +
           std::to_string(INT_MAX) + ".";
}

std::string BitStateRefusal() {
    return std::string(kBitStateLabel) + ": choose " + cell_words::kOn + " or " + cell_words::kOff + ".";
}

}  // namespace sequora::gui
