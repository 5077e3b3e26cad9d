#include "comlux/HostNames.h"

#include <unistd.h>

namespace comlux {

std::string ComputerName() {
    char name[128] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

std::string DottedAddress(const unsigned char address[4]) {
    return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." + std::to_string(address[2]) +
           "." + std::to_string(address[3]);
}

}  // namespace comlux
