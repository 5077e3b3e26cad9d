#include "app/core/ItemCells.h"

namespace sequora {

using namespace cell_words;

ItemCells BlankItemCells() {
    return {kNo, kNotApplicable, kNo, kNotApplicable, kNotApplicable, kNo, kNotApplicable, "0"};
}

std::string RandomDelayText(int delayMin, int delayMax) {
    return std::string(kRandomMarker) + " " + std::to_string(delayMin) + "-" + std::to_string(delayMax);
}

bool IsRandomDelay(const std::string& delayCell) {
    return delayCell.find(kRandomMarker) != std::string::npos;
}

}  // namespace sequora
