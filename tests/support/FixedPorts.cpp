#include "tests/support/FixedPorts.h"

#include <cerrno>

#include "tests/support/Loopback.h"

namespace testsupport {

std::optional<std::string> FixedPortsBusy() {
    for (const int port : {26200, 26100}) {
        if (LoopbackListener(port).Error() == EADDRINUSE)
            return "port " + std::to_string(port) + " is in use by another program";
    }
    return std::nullopt;
}

}  // namespace testsupport
