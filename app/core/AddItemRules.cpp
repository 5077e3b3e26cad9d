#include "app/core/AddItemRules.h"

namespace sequora {

AddItemOutcome BuildItemCells(const ItemForm& form) {
    AddItemOutcome outcome;
    if (form.useRandomDelay && form.delayMin > form.delayMax) {
        outcome.refusal = kDelayRangeRefusal;
        return outcome;
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
        const bool known = form.bitStateIndex == 0 || form.bitStateIndex == 1;
        cell(kColBitState) = !known                    ? cell_words::kNotApplicable
                             : form.bitStateIndex == 0 ? cell_words::kOn
                                                       : cell_words::kOff;
    }
    if (form.sendCommand) {
        cell(kColSendCommand) = cell_words::kYes;
        cell(kColCommand) = form.command;
    }
    cell(kColDelay) =
        form.useRandomDelay ? RandomDelayText(form.delayMin, form.delayMax) : std::to_string(form.delayMs);
    outcome.cells = std::move(cells);
    return outcome;
}

}  // namespace sequora
