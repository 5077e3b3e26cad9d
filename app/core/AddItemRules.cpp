#include "app/core/AddItemRules.h"

#include <array>
#include <cctype>
#include <charconv>
#include <utility>

#include "app/core/RowPlan.h"

namespace sequora {

namespace {

// The bit-state combo's entries, in their order.
constexpr std::array kBitStateEntries{cell_words::kOn, cell_words::kOff};

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// Reads "Random: <min>-<max>" back into the two numbers Add Item wrote, negative ones
// included; nullopt for any other text.
std::optional<std::pair<int, int>> WrittenRange(const std::string& delayCell) {
    const std::string prefix = std::string(cell_words::kRandomMarker) + " ";
    if (delayCell.rfind(prefix, 0) != 0) return std::nullopt;
    const char* at = delayCell.data() + prefix.size();
    const char* end = delayCell.data() + delayCell.size();
    std::pair<int, int> range;
    const auto first = std::from_chars(at, end, range.first);
    if (first.ec != std::errc() || first.ptr == end || *first.ptr != '-') return std::nullopt;
    const auto second = std::from_chars(first.ptr + 1, end, range.second);
    if (second.ec != std::errc() || second.ptr != end) return std::nullopt;
    return range;
}

AddItemOutcome Refuse(const char* message, RefusedField field) {
    AddItemOutcome outcome;
    outcome.refusal = message;
    outcome.field = field;
    return outcome;
}

}  // namespace

AddItemOutcome BuildItemCells(const ItemForm& form) {
    if (form.useRandomDelay && form.delayMin > form.delayMax) {
        return Refuse(kDelayRangeRefusal, RefusedField::DelayRange);
    }
    if (form.setBit && (form.bitNumber < kLowestBit || form.bitNumber > kHighestBit)) {
        return Refuse(kBitNumberRefusal, RefusedField::BitNumber);
    }

    ItemCells cells = BlankItemCells();
    auto cell = [&cells](ItemColumn column) -> std::string& { return cells[column - 1]; };

    if (form.sendEvent) {
        cell(kColSendEvent) = cell_words::kYes;
        cell(kColEventString) = form.eventString;
    }
    if (form.setBit) {
        cell(kColSetBit) = cell_words::kYes;
        cell(kColBitNumber) = std::to_string(form.bitNumber);
        const bool known = form.bitStateIndex >= 0 && form.bitStateIndex < int(kBitStateEntries.size());
        cell(kColBitState) = known ? kBitStateEntries[form.bitStateIndex] : cell_words::kNotApplicable;
    }
    if (form.sendCommand) {
        cell(kColSendCommand) = cell_words::kYes;
        cell(kColCommand) = form.command;
    }
    cell(kColDelay) =
        form.useRandomDelay ? RandomDelayText(form.delayMin, form.delayMax) : std::to_string(form.delayMs);
    AddItemOutcome outcome;
    outcome.cells = std::move(cells);
    return outcome;
}

int BitStateEntry(const std::string& typed) {
    for (std::size_t entry = 0; entry < kBitStateEntries.size(); ++entry) {
        if (SameIgnoringCase(typed, kBitStateEntries[entry])) return static_cast<int>(entry);
    }
    return -1;
}

std::optional<std::string> DelayRefusal(const std::string& field, const std::string& typed) {
    const std::size_t first = typed.find_first_not_of(' ');
    const std::size_t last = typed.find_last_not_of(' ');
    const std::string digits = first == std::string::npos ? "" : typed.substr(first, last - first + 1);
    long long value = -1;
    const char* end = digits.data() + digits.size();
    const auto read = std::from_chars(digits.data(), end, value);
    const bool whole = !digits.empty() && std::isdigit(static_cast<unsigned char>(digits[0])) &&
                       read.ec == std::errc() && read.ptr == end;
    if (whole && value <= kLongestDelayMs) return std::nullopt;
    return field + ": enter a whole number of milliseconds from 0 to " + std::to_string(kLongestDelayMs) +
           ", not \"" + typed + "\".";
}

std::optional<std::string> BitStateRefusal(const std::string& field, const std::string& typed) {
    if (BitStateEntry(typed) >= 0) return std::nullopt;
    return field + ": choose " + cell_words::kOn + " or " + cell_words::kOff + ", not \"" + typed + "\".";
}

RowForm FormFromRow(const ItemRow& row) {
    RowForm form;
    form.sendEvent = SendsEvent(row);
    if (form.sendEvent) form.eventString = row[kColEventString];
    form.setBit = SetsBit(row);
    if (form.setBit) {
        form.bitNumber = row[kColBitNumber];
        // Exact words only: a cell reading "on" is not "On" and is run as a reset.
        for (std::size_t entry = 0; entry < kBitStateEntries.size(); ++entry) {
            if (row[kColBitState] == kBitStateEntries[entry]) form.bitStateIndex = static_cast<int>(entry);
        }
    }
    form.sendCommand = SendsCommand(row);
    if (form.sendCommand) form.command = row[kColCommand];
    if (const auto written = WrittenRange(row[kColDelay])) {
        form.useRandomDelay = true;
        form.delayMin = std::to_string(written->first);
        form.delayMax = std::to_string(written->second);
    } else if (const auto range = row_rules::RandomDelayRange(row[kColDelay])) {
        // A hand-written range: the numbers the runner reads from it.
        form.useRandomDelay = true;
        form.delayMin = std::to_string(range->minimum);
        form.delayMax = std::to_string(range->maximum);
    } else {
        form.delayMs = row[kColDelay];
    }
    return form;
}

}  // namespace sequora
