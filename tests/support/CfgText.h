#pragma once

#include <string>
#include <vector>

namespace testsupport {

/// An item list in the layout the .cfg writer produces: one "-CreateTrialItem" per item,
/// followed by its lines (e.g. "-SetDelay 5"), each indented by a tab.
std::string CfgText(const std::vector<std::vector<std::string>>& items);

}  // namespace testsupport
