#pragma once

#include <optional>
#include <string>

namespace testsupport {

/// Why the server's fixed ports 26200/26100 cannot be used here ("port 26200 is in use by
/// another program"), or nullopt when both are free on loopback.
std::optional<std::string> FixedPortsBusy();

}  // namespace testsupport

/// Skips the current test, naming the busy port, when another program holds a fixed port.
#define SKIP_WHEN_FIXED_PORTS_ARE_BUSY()                                                \
    if (const auto busyPort = testsupport::FixedPortsBusy()) GTEST_SKIP() << *busyPort; \
    static_assert(true)
