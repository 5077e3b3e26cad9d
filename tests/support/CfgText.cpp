#include "tests/support/CfgText.h"

namespace testsupport {

std::string CfgText(const std::vector<std::vector<std::string>>& items) {
    std::string text = "\r\n\r\n";
    for (const auto& lines : items) {
        text += "-CreateTrialItem\r\n";
        for (const std::string& line : lines) text += "\t" + line + "\r\n";
        text += "\r\n\r\n";
    }
    return text;
}

}  // namespace testsupport
