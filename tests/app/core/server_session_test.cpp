// The connection procedure shared by the window and sequora-run, against the in-process
// stand-in server on free loopback ports.
#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

#include "app/core/ServerSession.h"
#include "comlux/ComluxClient.h"
#include "galdera/GalderaServer.h"
#include "tests/support/ScriptedPeer.h"
#include "tests/support/StandIn.h"
#include "tests/support/TempDir.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ServerSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        server = testsupport::StartStandIn();
        ASSERT_NE(server, nullptr);
        client.SetPorts(server->HandoutPort(), server->CommandPort());
        client.OpenLogFile(dir.File("log.txt"));
    }

    std::vector<std::string> Commands() const {
        std::vector<std::string> texts;
        for (const auto& command : server->Received()) texts.push_back(command.text);
        return texts;
    }

    testsupport::TempDir dir;
    std::unique_ptr<galdera::GalderaServer> server;
    comlux::ComluxClient client;
    sequora::ServerSession session{client};
    std::vector<std::string> messages;
    sequora::ServerSession::ShowMessage show = [this](const std::string& text) { messages.push_back(text); };
};

TEST_F(ServerSessionTest, ConnectAnnouncesTheApplicationAndFetchesObjectsAndTypes) {
    ASSERT_TRUE(session.Connect("127.0.0.1", show));
    EXPECT_TRUE(session.Connected());
    EXPECT_THAT(messages, IsEmpty());

    std::vector<std::string> names, types;
    for (const auto& object : galdera::DefaultObjects()) {
        names.push_back(object.name);
        types.push_back(object.type);
    }
    EXPECT_EQ(session.ObjectNames(), names);
    EXPECT_EQ(session.ObjectTypes(), types);

    const auto commands = Commands();
    const auto named = std::find(commands.begin(), commands.end(), "-SetApplicationName \"Sequora\"");
    ASSERT_NE(named, commands.end());
    EXPECT_THAT(
        std::vector<std::string>(named, commands.end()),
        ElementsAre("-SetApplicationName \"Sequora\"", "-RequestGalderaObjects", "-RequestGalderaTypes"));

    session.Disconnect();
    EXPECT_FALSE(session.Connected());
}

TEST_F(ServerSessionTest, FailedObjectListIsReportedButTheSessionStaysConnected) {
    server->SetAnswerOverride([](const std::string& command) -> std::optional<std::string> {
        if (command == "-RequestGalderaObjects") return "-1";
        return std::nullopt;
    });
    EXPECT_TRUE(session.Connect("127.0.0.1", show));
    EXPECT_TRUE(session.Connected());
    EXPECT_THAT(messages, ElementsAre("Retrieval of Galdera Objects and Types was Failed"));

    std::string answer;
    EXPECT_TRUE(client.SendCommand("-StartRecording", answer)) << "the connection must stay usable";
}

TEST_F(ServerSessionTest, RefusedConnectionIsReportedAndLeavesTheSessionDisconnected) {
    const int unused = testsupport::UnusedLoopbackPort();
    client.SetPorts(unused, unused);
    EXPECT_FALSE(session.Connect("127.0.0.1", show));
    EXPECT_FALSE(session.Connected());
    EXPECT_THAT(messages, ElementsAre("Connection Failed, Please check log file for details"));
    EXPECT_THAT(Commands(), IsEmpty());

    // A second try against a live server works.
    client.SetPorts(server->HandoutPort(), server->CommandPort());
    messages.clear();
    EXPECT_TRUE(session.Connect("127.0.0.1", show));
    EXPECT_THAT(messages, IsEmpty());
}

}  // namespace
