// The connection procedure shared by the window and sequora-run, against the in-process
// stand-in server on free loopback ports.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <thread>

#include "app/core/ServerSession.h"
#include "app/core/TaskQueue.h"
#include "comlux/ComluxClient.h"
#include "galdera/GalderaServer.h"
#include "tests/support/FullAcceptQueue.h"
#include "tests/support/Patience.h"
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

// The asynchronous steps, with this test's thread as the owner's: completions arrive only
// while it runs the queue.
class AsyncSessionTest : public ServerSessionTest {
protected:
    using Result = sequora::ServerSession::ConnectResult;

    void ConnectToAServerThatNeverAccepts() {
        ASSERT_TRUE(blackHole.Ready());
        client.SetPorts(blackHole.Port(), blackHole.Port());
        // Only a cancel can end the attempt within the test's patience.
        client.SetConnectTimeout(std::chrono::hours(1));
        ASSERT_TRUE(session->ConnectAsync("127.0.0.1", Keep()));
        ASSERT_TRUE(testsupport::AwaitThat([this] {
            return testsupport::ReadFile(dir.File("log.txt")).find("Attempting to establish a connection") !=
                   std::string::npos;
        }));
    }
    sequora::ServerSession::ConnectDone Keep() {
        return [this](const sequora::ServerSession::ConnectOutcome& ended) {
            outcome = ended;
            deliveredOn = std::this_thread::get_id();
        };
    }
    bool AwaitOutcome() {
        return tasks.RunUntil([this] { return outcome.has_value(); },
                              std::chrono::steady_clock::now() + testsupport::kPatience);
    }

    testsupport::FullAcceptQueue blackHole;
    sequora::TaskQueue tasks;
    std::atomic<int> posted{0};
    std::unique_ptr<sequora::ServerSession> session =
        std::make_unique<sequora::ServerSession>(client, [this](sequora::TaskQueue::Task task) {
            tasks.Post(std::move(task));
            ++posted;
        });
    std::optional<sequora::ServerSession::ConnectOutcome> outcome;
    std::thread::id deliveredOn;
};

TEST_F(AsyncSessionTest, ConnectAndDisconnectReportOnTheOwnersThread) {
    ASSERT_TRUE(session->ConnectAsync("127.0.0.1", Keep()));
    EXPECT_TRUE(session->Connecting());
    ASSERT_TRUE(AwaitOutcome());
    EXPECT_EQ(deliveredOn, std::this_thread::get_id());
    EXPECT_EQ(outcome->result, Result::Connected);
    EXPECT_THAT(outcome->messages, IsEmpty());
    EXPECT_FALSE(outcome->closedDuringRequests);
    EXPECT_FALSE(session->Connecting());
    EXPECT_TRUE(session->Connected());
    EXPECT_EQ(session->ObjectNames().size(), galdera::DefaultObjects().size());
    EXPECT_EQ(Commands().back(), "-RequestGalderaTypes");

    std::optional<std::thread::id> disconnectedOn;
    ASSERT_TRUE(session->DisconnectAsync([&] { disconnectedOn = std::this_thread::get_id(); }));
    EXPECT_FALSE(session->Connected());
    ASSERT_TRUE(tasks.RunUntil([&] { return disconnectedOn.has_value(); },
                               std::chrono::steady_clock::now() + testsupport::kPatience));
    EXPECT_EQ(*disconnectedOn, std::this_thread::get_id());
    EXPECT_FALSE(client.IsConnected());
}

TEST_F(AsyncSessionTest, CancelEndsAHangingConnectAsCancelledWithoutAMessage) {
    ConnectToAServerThatNeverAccepts();
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_TRUE(session->Cancel());
    ASSERT_TRUE(AwaitOutcome()) << "the connect was not cut short";
    EXPECT_EQ(outcome->result, Result::Cancelled);
    EXPECT_THAT(outcome->messages, IsEmpty());
    EXPECT_FALSE(session->Connected());

    // The session takes the next attempt.
    client.SetPorts(server->HandoutPort(), server->CommandPort());
    outcome.reset();
    ASSERT_TRUE(session->ConnectAsync("127.0.0.1", Keep()));
    ASSERT_TRUE(AwaitOutcome());
    EXPECT_EQ(outcome->result, Result::Connected);
}

TEST_F(AsyncSessionTest, CancelAfterTheProcedureEndedStillClosesWhatItConnected) {
    ASSERT_TRUE(session->ConnectAsync("127.0.0.1", Keep()));
    // The completion waits in the queue: the owner has not seen it yet.
    ASSERT_TRUE(testsupport::AwaitThat([this] { return posted > 0; }));
    EXPECT_TRUE(session->Cancel());
    ASSERT_TRUE(AwaitOutcome());
    EXPECT_EQ(outcome->result, Result::Cancelled);
    EXPECT_FALSE(session->Connected());

    // Queued behind the close.
    std::optional<bool> up;
    ASSERT_TRUE(session->CheckConnectionAsync([&](bool isUp) { up = isUp; }));
    ASSERT_TRUE(tasks.RunUntil([&] { return up.has_value(); },
                               std::chrono::steady_clock::now() + testsupport::kPatience));
    EXPECT_FALSE(*up);
}

TEST_F(AsyncSessionTest, CheckOfAnIdleConnectionNoticesThatTheServerClosedIt) {
    ASSERT_TRUE(session->ConnectAsync("127.0.0.1", Keep()));
    ASSERT_TRUE(AwaitOutcome());
    const auto check = [this] {
        std::optional<bool> up;
        EXPECT_TRUE(session->CheckConnectionAsync([&](bool isUp) { up = isUp; }));
        tasks.RunUntil([&] { return up.has_value(); },
                       std::chrono::steady_clock::now() + testsupport::kPatience);
        return up.value_or(false);
    };
    EXPECT_TRUE(check());
    const std::size_t sent = server->Received().size();
    server->Stop();
    EXPECT_TRUE(testsupport::AwaitThat([&] { return !check(); }));
    EXPECT_EQ(server->Received().size(), sent);
}

TEST_F(AsyncSessionTest, DestroyingTheSessionMidConnectEndsTheAttemptAndDeliversNothing) {
    ConnectToAServerThatNeverAccepts();
    ASSERT_FALSE(HasFatalFailure());
    session.reset();  // hangs for the connect timeout if the attempt is not cut short
    tasks.RunUntil([] { return false; }, std::chrono::steady_clock::now());
    EXPECT_FALSE(outcome.has_value());
}

}  // namespace
