#pragma once

#include <memory>

#include "galdera/GalderaServer.h"

namespace testsupport {

/// Starts the stand-in server with `options` on loopback ports of the system's choosing (the
/// ports in `options` are ignored), so that tests never meet another program on 26200/26100.
/// Null when it could not start.
std::unique_ptr<galdera::GalderaServer> StartStandIn(galdera::ServerOptions options = {});

}  // namespace testsupport
