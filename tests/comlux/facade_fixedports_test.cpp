// The facade's default ports: the hand-out port 26200 and the command port 26100.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "comlux/ComluxClient.h"
#include "galdera/GalderaServer.h"
#include "tests/support/FixedPorts.h"

namespace {

std::vector<int> Connections(const galdera::GalderaServer& server) {
    std::vector<int> ids;
    for (const auto& command : server.Received()) {
        if (ids.empty() || ids.back() != command.connection) ids.push_back(command.connection);
    }
    return ids;
}

TEST(FacadeFixedPorts, DefaultConnectionGoesThroughTheHandOutPort) {
    SKIP_WHEN_FIXED_PORTS_ARE_BUSY();
    galdera::GalderaServer server(galdera::ServerOptions{});
    ASSERT_TRUE(server.Start());
    comlux::ComluxClient client;
    ASSERT_TRUE(client.OpenConnection("127.0.0.1", true));
    // One short connection to 26200 for the port request, then the handed-out command port.
    EXPECT_THAT(Connections(server), testing::ElementsAre(1, 2));
    EXPECT_EQ(server.Received().at(1).text, "-GetNextAvailablePortNumber");
    EXPECT_TRUE(client.CloseConnection());
}

TEST(FacadeFixedPorts, WithoutPortRequestTheCommandPortIsUsed) {
    SKIP_WHEN_FIXED_PORTS_ARE_BUSY();
    galdera::GalderaServer server(galdera::ServerOptions{});
    ASSERT_TRUE(server.Start());
    comlux::ComluxClient client;
    ASSERT_TRUE(client.OpenConnection("127.0.0.1", false));
    EXPECT_THAT(Connections(server), testing::ElementsAre(1));
    std::string answer;
    EXPECT_TRUE(client.SendCommand("-StartAcquisition", answer));
    EXPECT_TRUE(client.CloseConnection());
}

}  // namespace
