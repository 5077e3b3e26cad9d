#pragma once

#include <chrono>
#include <thread>

namespace testsupport {

/// How long a test waits for another thread before it fails instead of hanging.
constexpr std::chrono::seconds kPatience{10};

/// Waits until `done()` holds, looking every millisecond; false when it does not within kPatience.
template <typename Condition>
bool AwaitThat(Condition done) {
    const auto until = std::chrono::steady_clock::now() + kPatience;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace testsupport
