// The command channel against the in-process stand-in server: the whole connect / shutdown
// sequence, the stream set-up with its failure half-way, and the server's object lists.
#include <algorithm>
#include <atomic>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "comlux/internal/NetworkNodeClient.h"
#include "galdera/GalderaServer.h"
#include "tests/support/StandIn.h"
#include "tests/support/TempDir.h"

namespace {

using testing::ElementsAre;

// The entry lines of a log file, in order.
std::vector<std::string> EntryLines(const std::string& path) {
    const std::string text = testsupport::ReadFile(path);
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos) end = text.size();
        if (text.compare(at, 3, "-* ") == 0) lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

std::vector<std::string> CommandsOn(const galdera::GalderaServer& server, int connection) {
    std::vector<std::string> texts;
    for (const auto& command : server.Received()) {
        if (command.connection == connection) texts.push_back(command.text);
    }
    return texts;
}

std::size_t CountStartingWith(const std::vector<std::string>& texts, const std::string& start) {
    return static_cast<std::size_t>(std::count_if(
        texts.begin(), texts.end(), [&](const std::string& t) { return t.rfind(start, 0) == 0; }));
}

class ChannelServerTest : public testing::Test {
protected:
    void SetUp() override {
        galdera::ServerOptions options;
        options.objects = {{"SE1", "SEScAcqEnt"}, {"Video Tracker", "VTAcqEnt"}, {"Events", "EventAcqEnt"}};
        server = testsupport::StartStandIn(options);
        ASSERT_NE(server, nullptr);
        client.Log().SetClock([] { return comlux::LocalTime{2024, 5, 6, 7, 8, 9, 10}; });
        ASSERT_TRUE(client.OpenLogFile(dir.File("log.txt")));
    }

    testsupport::TempDir dir;
    std::unique_ptr<galdera::GalderaServer> server;
    comlux::NetworkNodeClient client;
};

TEST_F(ChannelServerTest, ConnectAndShutdownWriteTheirLinesInOrder) {
    ASSERT_TRUE(client.InitializeClient("127.0.0.1", server->CommandPort()));
    EXPECT_EQ(client.GetServerApplicationName(), "GalderaSim");
    ASSERT_TRUE(client.ShutdownClient());
    EXPECT_FALSE(client.ShutdownClient());
    client.Log().CloseLogFile();

    const std::string n = "-* NOTICE *-  07:08:09.010 - ";
    const std::string w = "-* WARNING *-  07:08:09.010 - ";
    const std::string init = "NetworkNodeClient::InitializeClient() - ";
    const std::string shut = "NetworkNodeClient::ShutdownClient() - ";
    EXPECT_THAT(
        EntryLines(dir.File("log.txt")),
        ElementsAre(n + init +
                        "Attempting to initialize Message Client connection.  serverName: 127.0.0.1, "
                        "portNumber: " +
                        std::to_string(server->CommandPort()),
                    n + init + "Attempting to create Client Socket",
                    n + init + "Client Socket created successfully",
                    n + init + "Attempting to request information about our connection.",
                    n + init + "Request for information was successful.",
                    n + init + "Attempting to establish a connection to our server.",
                    n + init + "Connection successfully established",
                    n + init + "Message Client successfully initialized",
                    n + shut + "Attempting to Shutdown Message Client",
                    n + shut + "Attempting to Close Message Client Socket",
                    n + shut + "Attempt to Close Message Client Socket was successful",
                    n + shut + "Attempting to Shutdown Message Client",
                    w + shut + "Unable to Close Message Client, Client has not yet been initialized"));
}

TEST_F(ChannelServerTest, StreamSetUpFailingHalfWayCanBeRepeatedAfterReconnecting) {
    std::atomic<int> portRequests = 0;  // written by the server's session thread
    server->SetAnswerOverride([&](const std::string& command) -> std::optional<std::string> {
        if (command == "-GetNextAvailablePortNumber" && ++portRequests == 4) return "-1";
        return std::nullopt;
    });
    ASSERT_TRUE(client.InitializeClient("127.0.0.1", server->CommandPort()));
    EXPECT_EQ(client.InitializeConnectionNodes(), -1);
    EXPECT_FALSE(client.StreamsInitialized());
    const auto first = CommandsOn(*server, 1);
    EXPECT_EQ(CountStartingWith(first, "-CreateStream "), 3u);
    EXPECT_EQ(first.at(2).rfind("-CreateStream 127.0.0.1 ", 0), 0u);
    EXPECT_EQ(first.at(2).substr(first.at(2).size() - 11), " SEScAcqEnt");

    // Streams were not set up, so the shutdown closes no object stream.
    ASSERT_TRUE(client.ShutdownClient());
    ASSERT_TRUE(client.InitializeClient("127.0.0.1", server->CommandPort()));
    EXPECT_EQ(client.InitializeConnectionNodes(), 0);
    EXPECT_TRUE(client.StreamsInitialized());
    const auto second = CommandsOn(*server, 2);
    EXPECT_EQ(CountStartingWith(second, "-CreateStream "), 6u);
    EXPECT_EQ(second.back().substr(second.back().size() - 12), " EventAcqEnt");
    EXPECT_EQ(CountStartingWith(first, "-CloseStream"), 0u);
}

TEST_F(ChannelServerTest, ObjectListsAreKeptAndGuardStreamRequests) {
    ASSERT_TRUE(client.InitializeClient("127.0.0.1", server->CommandPort()));
    ASSERT_EQ(client.InitializeConnectionNodes(), 0);
    std::vector<std::string> objects;
    std::vector<std::string> types;
    ASSERT_TRUE(client.RequestObjectsAndTypes(objects, types));
    EXPECT_THAT(objects, ElementsAre("SE1", "Video Tracker", "Events"));
    EXPECT_THAT(types, ElementsAre("SEScAcqEnt", "VTAcqEnt", "EventAcqEnt"));

    EXPECT_FALSE(client.OpenStream("SE1", "TTScAcqEnt"));
    EXPECT_FALSE(client.OpenStream("SE9", "SEScAcqEnt"));
    EXPECT_TRUE(client.OpenStream("Video Tracker", "VTAcqEnt"));
    EXPECT_TRUE(client.OpenStream("Video Tracker", "VTAcqEnt"));
    EXPECT_FALSE(client.CloseStream("Video Tracker", "VTAcqEnt"));
    EXPECT_FALSE(client.CloseStream("SE1", "NoSuchType"));
    EXPECT_TRUE(client.OpenStream("Events", "EventAcqEnt"));
    // The shutdown closes what is still open: one opening of the tracker, the event source.
    ASSERT_TRUE(client.ShutdownClient());

    const auto commands = CommandsOn(*server, 1);
    EXPECT_EQ(CountStartingWith(commands, "-OpenStream Video Tracker VTAcqEnt"), 2u);
    EXPECT_EQ(CountStartingWith(commands, "-OpenStream "), 3u);
    std::vector<std::string> closes;
    std::copy_if(commands.begin(), commands.end(), std::back_inserter(closes),
                 [](const std::string& t) { return t.rfind("-CloseStream ", 0) == 0; });
    EXPECT_THAT(closes,
                ElementsAre("-CloseStream Video Tracker VTAcqEnt", "-CloseStream Events EventAcqEnt"));
}

TEST_F(ChannelServerTest, ObjectAnswerWithoutItemsFailsAndLeavesNoObjects) {
    server->SetAnswerOverride([](const std::string& command) -> std::optional<std::string> {
        if (command == "-RequestGalderaObjects") return "0";
        return std::nullopt;
    });
    ASSERT_TRUE(client.InitializeClient("127.0.0.1", server->CommandPort()));
    std::vector<std::string> objects = {"old"};
    std::vector<std::string> types;
    EXPECT_FALSE(client.RequestObjectsAndTypes(objects, types));
    // Nothing is known, so nothing can be opened.
    EXPECT_FALSE(client.OpenStream("SE1", "SEScAcqEnt"));
}

TEST_F(ChannelServerTest, StatusOtherThanZeroFailsTheListRequest) {
    server->SetAnswerOverride([](const std::string& command) -> std::optional<std::string> {
        if (command == "-RequestGalderaTypes") return "3 SEScAcqEnt VTAcqEnt EventAcqEnt";
        return std::nullopt;
    });
    ASSERT_TRUE(client.InitializeClient("127.0.0.1", server->CommandPort()));
    std::vector<std::string> objects;
    std::vector<std::string> types;
    EXPECT_FALSE(client.RequestObjectsAndTypes(objects, types));
    EXPECT_THAT(objects, ElementsAre("SE1", "Video Tracker", "Events"));
    EXPECT_TRUE(types.empty());
}

TEST_F(ChannelServerTest, ConnectionLostWhileClosingStreamsIsClosedOnlyOnce) {
    ASSERT_TRUE(client.InitializeClient("127.0.0.1", server->CommandPort()));
    ASSERT_EQ(client.InitializeConnectionNodes(), 0);
    std::vector<std::string> objects;
    std::vector<std::string> types;
    ASSERT_TRUE(client.RequestObjectsAndTypes(objects, types));
    ASSERT_TRUE(client.OpenStream("SE1", "SEScAcqEnt"));
    ASSERT_TRUE(client.OpenStream("Events", "EventAcqEnt"));
    // The server drops the connection instead of answering the first "-CloseStream".
    server->SetFault(galdera::Fault::CloseInsteadOfAnswer);
    EXPECT_TRUE(client.ShutdownClient());
    EXPECT_FALSE(client.IsInitialized());
    EXPECT_FALSE(client.StreamsInitialized());

    const auto lines = EntryLines(dir.File("log.txt"));
    const auto count = [&](const std::string& text) {
        return std::count_if(lines.begin(), lines.end(),
                             [&](const std::string& line) { return line.find(text) != std::string::npos; });
    };
    EXPECT_EQ(count("Attempt to Close Message Client Socket was successful"), 1);
    EXPECT_EQ(count("Unable to Close Message Client Socket"), 0);
    EXPECT_EQ(CountStartingWith(CommandsOn(*server, 1), "-CloseStream "), 1u);
}

}  // namespace
