#pragma once

#include <string>
#include <vector>

#include "app/core/ItemList.h"

namespace sequora::gui {

/// Saves the rows as the .cfg file `path` the safe way (CfgWriter: a temporary file beside
/// it, renamed over it). When that cannot be done because the folder takes no new file but
/// the file itself may be written, the file is rewritten in place instead. False with the
/// message for the user in `failure` when neither worked.
bool SaveCfgFile(const std::string& path, const std::vector<ItemRow>& rows, std::string& failure);

/// What the user is told when a .cfg file cannot be opened: "Cannot open <file name>:
/// <reason>."
std::string CannotOpenMessage(const std::string& fileName, const std::string& reason);

}  // namespace sequora::gui
