// The channel's table of socket error explanations.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <set>
#include <utility>

#include "comlux/internal/ChannelErrorReports.h"
#include "comlux/internal/SocketErrors.h"

namespace {

using comlux::ChannelErrorReport;
using comlux::ChannelReporter;

constexpr ChannelReporter kAllReporters[] = {
    ChannelReporter::SocketStartup,     ChannelReporter::CreateSocket,
    ChannelReporter::GetServerInfo,     ChannelReporter::ConnectToServer,
    ChannelReporter::ProcessSendError,  ChannelReporter::ProcessRecieveError,
    ChannelReporter::ProcessCloseError,
};

TEST(ChannelErrorReports, EveryReporterHasAtMostOneWordingPerCode) {
    std::set<std::pair<int, unsigned>> seen;
    for (const auto& row : comlux::ChannelErrorRows()) {
        EXPECT_NE(row.reporters, 0u) << row.name;
        for (ChannelReporter reporter : kAllReporters) {
            const unsigned bit = 1u << static_cast<unsigned>(reporter);
            if ((row.reporters & bit) == 0) continue;
            EXPECT_TRUE(seen.insert({row.code, bit}).second) << row.name << " twice for one reporter";
        }
    }
}

TEST(ChannelErrorReports, LineNamesTheOperationTheCodeAndItsMeaningForThatOperation) {
    EXPECT_EQ(
        ChannelErrorReport(ChannelReporter::ConnectToServer, comlux::WSAECONNREFUSED),
        "NetworkNodeClient::ConnectToServer() - Error Connecting To Server, error code: WSAECONNREFUSED - "
        "The attempt to connect was forcefully rejected.");
    EXPECT_EQ(
        ChannelErrorReport(ChannelReporter::ProcessSendError, comlux::WSAENOTCONN),
        "NetworkNodeClient::ProcessSendError() - Error sending data, error code: WSAENOTCONN - The socket is "
        "not connected.");
    EXPECT_EQ(
        ChannelErrorReport(ChannelReporter::SocketStartup, comlux::WSAEFAULT),
        "NetworkNodeClient::SocketStartup() - Error requesting Socket Startup, return code: WSAEFAULT - The "
        "lpWSAData is not a valid pointer.");
    EXPECT_EQ(ChannelErrorReport(ChannelReporter::ProcessCloseError, comlux::WSAEINTR),
              "NetworkNodeClient::ProcessCloseError() - Error closing socket, error code: WSAEINTR - The "
              "(blocking) "
              "Windows Socket 1.1 call was canceled through WSACancelBlockingCall.");
    EXPECT_EQ(
        ChannelErrorReport(ChannelReporter::ConnectToServer, comlux::WSAEALREADY),
        "NetworkNodeClient::ConnectToServer() - Error Connecting To Server, error code: WSAEALREADY - A "
        "nonblocking connect call is in progress on the specified socket. ");
}

TEST(ChannelErrorReports, CodesAReporterDoesNotKnowWriteNothing) {
    for (ChannelReporter reporter : kAllReporters)
        EXPECT_EQ(ChannelErrorReport(reporter, 10101), std::nullopt);
    EXPECT_EQ(ChannelErrorReport(ChannelReporter::ProcessRecieveError, comlux::WSAECONNREFUSED),
              std::nullopt);
    EXPECT_EQ(ChannelErrorReport(ChannelReporter::ProcessCloseError, comlux::WSAECONNRESET), std::nullopt);
    EXPECT_EQ(ChannelErrorReport(ChannelReporter::SocketStartup, comlux::WSANOTINITIALISED), std::nullopt);
}

}  // namespace
