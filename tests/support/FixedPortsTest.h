#pragma once

#include <gtest/gtest.h>
#include <memory>

#include "galdera/GalderaServer.h"
#include "tests/support/FixedPorts.h"

namespace testsupport {

/// A test of one of our programs against the stand-in server on its fixed ports 26200/26100,
/// as a user runs them: skipped, naming the port, when another program holds one.
class FixedPortsTest : public ::testing::Test {
protected:
    void SetUp() override { SKIP_WHEN_FIXED_PORTS_ARE_BUSY(); }
    /// Starts the stand-in server on the fixed ports.
    void StartServer() {
        server = std::make_unique<galdera::GalderaServer>(galdera::ServerOptions{});
        ASSERT_TRUE(server->Start()) << "ports 26200/26100 are in use";
    }

    std::unique_ptr<galdera::GalderaServer> server;
};

}  // namespace testsupport
