#include "comlux/internal/StreamAddress.h"

namespace comlux {

bool IsLoopbackAddress(std::string_view dotted) {
    return dotted.substr(0, 4) == "127.";
}

std::string ChooseStreamAddress(std::string_view commandLocalAddress, std::string_view hostNameAddress) {
    if (IsLoopbackAddress(commandLocalAddress)) return std::string(commandLocalAddress);
    if (!hostNameAddress.empty() && !IsLoopbackAddress(hostNameAddress)) return std::string(hostNameAddress);
    if (!commandLocalAddress.empty()) return std::string(commandLocalAddress);
    return hostNameAddress.empty() ? "127.0.0.1" : std::string(hostNameAddress);
}

}  // namespace comlux
