#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace comlux {

class ClientLogFile;

/// Splits a server answer into items at white space; an item starting with a double quote runs
/// to the next double quote and may hold blanks. False only for an unmatched quote, which is
/// written to `log` (may be null); the items before it stay in `tokens`.
bool ParseCommandString(std::string_view text, std::vector<std::string>& tokens, ClientLogFile* log);

}  // namespace comlux
