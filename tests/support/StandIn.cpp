#include "tests/support/StandIn.h"

namespace testsupport {

std::unique_ptr<galdera::GalderaServer> StartStandIn(galdera::ServerOptions options) {
    options.handoutPort = 0;
    options.commandPort = 0;
    auto server = std::make_unique<galdera::GalderaServer>(std::move(options));
    if (!server->Start()) return nullptr;
    return server;
}

}  // namespace testsupport
