#include "tests/support/ItemRows.h"

namespace testsupport {

sequora::ItemCells EventRow(const std::string& text, const std::string& delay) {
    return {"Yes", text, "No", "NA", "NA", "No", "NA", delay};
}

sequora::ItemCells BitRow(const std::string& bit, const std::string& state) {
    return BitRow(bit, state, "0");
}

sequora::ItemCells BitRow(const std::string& bit, const std::string& state, const std::string& delay) {
    return {"No", "NA", "Yes", bit, state, "No", "NA", delay};
}

sequora::ItemCells CommandRow(const std::string& command, const std::string& delay) {
    return {"No", "NA", "No", "NA", "NA", "Yes", command, delay};
}

sequora::ItemCells WaitRow(const std::string& delay) {
    return {"No", "NA", "No", "NA", "NA", "No", "NA", delay};
}

}  // namespace testsupport
