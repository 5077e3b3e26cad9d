#include "app/core/AddItemRules.h"

namespace sequora {

std::string RandomDelayText(int delayMin, int delayMax) {
    return "Random: " + std::to_string(delayMin) + "-" + std::to_string(delayMax);
}

AddItemOutcome BuildItemCells(const ItemForm& form) {
    AddItemOutcome outcome;
    if (form.useRandomDelay && form.delayMin > form.delayMax) {
        outcome.refusal = kDelayRangeRefusal;
        return outcome;
    }

    ItemCells cells = {"No", "NA", "No", "NA", "NA", "No", "NA", ""};
    auto cell = [&cells](ItemColumn column) -> std::string& { return cells[column - 1]; };

    if (form.sendEvent) {
        cell(kColSendEvent) = "Yes";
        cell(kColEventString) = form.eventString;
    }
    if (form.setBit) {
        static constexpr const char* kBitStates[] = {"On", "Off"};
        cell(kColSetBit) = "Yes";
        cell(kColBitNumber) = std::to_string(form.bitNumber);
        const bool known = form.bitStateIndex == 0 || form.bitStateIndex == 1;
        cell(kColBitState) = known ? kBitStates[form.bitStateIndex] : "NA";
    }
    if (form.sendCommand) {
        cell(kColSendCommand) = "Yes";
        cell(kColCommand) = form.command;
    }
    cell(kColDelay) =
        form.useRandomDelay ? RandomDelayText(form.delayMin, form.delayMax) : std::to_string(form.delayMs);
    outcome.cells = std::move(cells);
    return outcome;
}

}  // namespace sequora
