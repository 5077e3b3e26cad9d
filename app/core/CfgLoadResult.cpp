#include "app/core/CfgLoadResult.h"

#include <filesystem>

namespace sequora {

std::string CfgLoadResult::StopMessage(const std::string& path) const {
    const std::string fileName = std::filesystem::path(path).filename().string();
    const std::string items =
        itemsLoaded == 1 ? "1 item was loaded." : std::to_string(itemsLoaded) + " items were loaded.";
    return "Reading stopped at line " + std::to_string(line) + " of " + fileName + ": " + reason + ". " +
           items;
}

}  // namespace sequora
