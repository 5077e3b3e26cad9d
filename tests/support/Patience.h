#pragma once

#include <chrono>

namespace testsupport {

/// How long a test waits for another thread before it fails instead of hanging.
constexpr std::chrono::seconds kPatience{10};

}  // namespace testsupport
