#include "app/core/ItemCells.h"

namespace sequora {

using namespace cell_words;

ItemCells BlankItemCells() {
    return {kNo, kNotApplicable, kNo, kNotApplicable, kNotApplicable, kNo, kNotApplicable, "0"};
}

}  // namespace sequora
