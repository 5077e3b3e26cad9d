// Which address the server is asked to connect the data streams back to.
#include <gtest/gtest.h>

#include "comlux/internal/StreamAddress.h"

namespace {

using comlux::ChooseStreamAddress;

TEST(StreamAddress, ARemoteServerIsNeverToldALoopbackAddress) {
    // Server on this machine: the command connection's own loopback address.
    EXPECT_EQ(ChooseStreamAddress("127.0.0.1", "192.168.1.20"), "127.0.0.1");
    // Remote server, host name with a real address: that address.
    EXPECT_EQ(ChooseStreamAddress("10.0.0.5", "192.168.1.20"), "192.168.1.20");
    // Remote server, host name mapped to loopback (127.0.1.1) or not resolvable: the address
    // by which the server already reaches this computer.
    EXPECT_EQ(ChooseStreamAddress("10.0.0.5", "127.0.1.1"), "10.0.0.5");
    EXPECT_EQ(ChooseStreamAddress("10.0.0.5", ""), "10.0.0.5");
    // Nothing known about the connection: the host name's address, else loopback.
    EXPECT_EQ(ChooseStreamAddress("", "192.168.1.20"), "192.168.1.20");
    EXPECT_EQ(ChooseStreamAddress("", ""), "127.0.0.1");
}

}  // namespace
