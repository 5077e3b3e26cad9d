#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "galdera/GalderaServer.h"
#include "tests/galdera/RawPeer.h"

using namespace std::chrono_literals;
using galdera::Fault;
using galdera::GalderaServer;
using galdera::ServerOptions;
using galdera_test::Bytes;
using galdera_test::Le32;
using galdera_test::Listener;
using galdera_test::Peer;

namespace {

ServerOptions FreePorts() {
    ServerOptions options;
    options.handoutPort = 0;
    options.commandPort = 0;
    return options;
}

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override { StartWith(FreePorts()); }

    void StartWith(ServerOptions options) {
        server = std::make_unique<GalderaServer>(std::move(options));
        ASSERT_TRUE(server->Start());
        ASSERT_TRUE(client.Connect(server->CommandPort()));
    }

    std::unique_ptr<GalderaServer> server;
    Peer client;
};

Bytes Expected(const std::string& text) {
    Bytes payload(text.begin(), text.end());
    payload.push_back(0);
    return galdera_test::Frame(1, 0xA5A5A5A5u, static_cast<std::int32_t>(payload.size()), payload);
}

TEST_F(ServerTest, AnswerIsOneExactFrameWithTextAndNul) {
    ASSERT_TRUE(client.Send(galdera_test::CommandFrame("-GetApplicationName")));
    const Bytes expected = Expected("Galdera GalderaSim");
    EXPECT_EQ(client.Read(expected.size()), expected);
    EXPECT_TRUE(client.Silent(50ms));
}

TEST_F(ServerTest, CommandSplitIntoPiecesIsStillOneCommand) {
    const Bytes frame = galdera_test::CommandFrame("-StartAcquisition");
    for (unsigned char byte : frame) {
        ASSERT_TRUE(client.Send({byte}));
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_EQ(client.ReadAnswer(), (Bytes{'0', 0}));
    ASSERT_TRUE(server->WaitForCommands(1, 5s));
    EXPECT_EQ(server->Received()[0].text, "-StartAcquisition");
}

TEST_F(ServerTest, HandoutGivesACommandPortThatServesOneClient) {
    // Served first, so the fixture's connection is number 1.
    ASSERT_EQ(client.Command("-StartAcquisition"), "0");
    Peer handout;
    ASSERT_TRUE(handout.Connect(server->HandoutPort()));
    EXPECT_EQ(handout.Command("-GetApplicationName"), "Galdera GalderaSim");
    const auto answer = handout.Command("-GetNextAvailablePortNumber");
    ASSERT_TRUE(answer);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(*answer, match, std::regex("0 ([0-9]+)")));
    const int port = std::stoi(match[1]);
    handout.Close();

    Peer session;
    ASSERT_TRUE(session.Connect(port));
    EXPECT_EQ(session.Command("-SetApplicationName \"Sequora\""), "0");
    Peer second;
    EXPECT_FALSE(second.Connect(port) && second.Command("-GetApplicationName"));

    const auto received = server->Received();
    ASSERT_EQ(received.size(), 4u);
    EXPECT_EQ(received[0].connection, 1);
    EXPECT_EQ(received[1].connection, 2);
    EXPECT_EQ(received[2].connection, 2);
    EXPECT_EQ(received[3].connection, 3);
    for (std::size_t i = 1; i < received.size(); ++i) EXPECT_LE(received[i - 1].micros, received[i].micros);
}

TEST_F(ServerTest, PortRequestOnCommandConnectionGivesAPortNobodyListensOn) {
    const auto answer = client.Command("-GetNextAvailablePortNumber");
    ASSERT_TRUE(answer);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(*answer, match, std::regex("0 ([0-9]+)")));
    const int port = std::stoi(match[1]);
    EXPECT_NE(port, server->HandoutPort());
    EXPECT_NE(port, server->CommandPort());
    Peer probe;
    EXPECT_FALSE(probe.Connect(port));
}

TEST_F(ServerTest, ObjectAndTypeListsAreParallelWithBlankNamesQuoted) {
    EXPECT_EQ(client.Command("-RequestGalderaObjects"),
              "0 SE1 SE2 SE3 \"SE Ref\" ST1 TT1 TT2 CSC1 CSC2 CSC3 CSC4 VT1 Events");
    EXPECT_EQ(
        client.Command("-RequestGalderaTypes"),
        "0 SEScAcqEnt SEScAcqEnt SEScAcqEnt SEScAcqEnt STScAcqEnt TTScAcqEnt TTScAcqEnt CscAcqEnt CscAcqEnt "
        "CscAcqEnt CscAcqEnt VTAcqEnt EventAcqEnt");
}

TEST(ServerObjects, EmptyObjectListStillAnswersStatusAndBlank) {
    ServerOptions options = FreePorts();
    options.objects.clear();
    GalderaServer server(options);
    ASSERT_TRUE(server.Start());
    Peer client;
    ASSERT_TRUE(client.Connect(server.CommandPort()));
    EXPECT_EQ(client.Command("-RequestGalderaObjects"), "0 ");
    EXPECT_EQ(client.Command("-RequestGalderaTypes"), "0 ");
}

TEST_F(ServerTest, RequestsAnswerStatusAndValuesForKnownObjectsOnly) {
    EXPECT_EQ(client.Command("-RequestRingBufferSize SE Ref"), "0 112 4");
    EXPECT_EQ(client.Command("-RequestSamplingFrequency CSC2"), "0 32000");
    EXPECT_EQ(client.Command("-RequestADRange TT1"), "0 -32768 32767");
    EXPECT_EQ(client.Command("-RequestFeature ServerVersion 0"), "0 1.0.0");
    for (const char* unknown : {"-RequestRingBufferSize Nope", "-RequestSamplingFrequency Nope",
                                "-RequestADRange se1", "-RequestFeature NoSuchFeature 3"}) {
        const auto answer = client.Command(unknown);
        ASSERT_TRUE(answer) << unknown;
        EXPECT_EQ(answer->rfind("-1", 0), 0u) << unknown << " -> " << *answer;
    }
    for (const char* plain :
         {" -PostEvent \"Tone on\" 0 0", "-SetDIOPortBits AcqSystem1 0 8", "-ResetDIOPortBits AcqSystem1 0 8",
          "-SetComputerName host", "-LogMessage hi 3", "-StopRecording", "-SomethingNew x", ""}) {
        EXPECT_EQ(client.Command(plain), "0") << plain;
    }
}

TEST_F(ServerTest, RingBufferIsARawBlockOfTheObjectsRecords) {
    ASSERT_TRUE(client.Send(galdera_test::CommandFrame("-RequestRingBuffer CSC3")));
    const auto block = client.ReadAnswer();
    ASSERT_TRUE(block);
    ASSERT_EQ(block->size(), 4u * 1044u);
    for (std::size_t record = 0; record < 4; ++record) EXPECT_EQ(Le32(*block, record * 1044 + 8), 2u);
}

TEST_F(ServerTest, AnswerOverrideReplacesOnlyTheCommandsItChooses) {
    server->SetAnswerOverride([](const std::string& command) -> std::optional<std::string> {
        if (command == "-GetNextAvailablePortNumber") return "-1";
        return std::nullopt;
    });
    EXPECT_EQ(client.Command("-GetNextAvailablePortNumber"), "-1");
    EXPECT_EQ(client.Command("-GetApplicationName"), "Galdera GalderaSim");
}

struct FaultCase {
    Fault fault;
    Bytes expectedHeader;  // the first 12 bytes of the answer to "-StartRecording"
    bool payloadFollows;
};

TEST_F(ServerTest, HeaderFaultsProduceTheirBytesForTheCountedAnswersOnly) {
    const Bytes good = Expected("0");
    const std::vector<FaultCase> cases = {
        {Fault::WrongVersion, galdera_test::Frame(2, 0xA5A5A5A5u, 2, {}), true},
        {Fault::ZeroVersion, galdera_test::Frame(0, 0xA5A5A5A5u, 2, {}), true},
        {Fault::BadValidation, galdera_test::Frame(1, 0x5A5A5A5Au, 2, {}), true},
        {Fault::ZeroLength, galdera_test::Frame(1, 0xA5A5A5A5u, 0, {}), false},
        {Fault::NegativeLength, galdera_test::Frame(1, 0xA5A5A5A5u, -1, {}), false},
        {Fault::HugeLength, galdera_test::Frame(1, 0xA5A5A5A5u, 0x7FFFFFF0, {}), true},
    };
    for (const FaultCase& c : cases) {
        server->SetFault(c.fault, 1);
        ASSERT_TRUE(client.Send(galdera_test::CommandFrame("-StartRecording")));
        EXPECT_EQ(client.Read(12), c.expectedHeader) << static_cast<int>(c.fault);
        if (c.payloadFollows) {
            EXPECT_EQ(client.Read(2), (Bytes{'0', 0}));
        }
        // The fault was for one answer only.
        ASSERT_TRUE(client.Send(galdera_test::CommandFrame("-StartRecording")));
        EXPECT_EQ(client.Read(good.size()), good) << static_cast<int>(c.fault);
    }
}

TEST_F(ServerTest, FaultWithoutCountLastsUntilReset) {
    server->SetFault(Fault::WrongVersion);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(client.Send(galdera_test::CommandFrame("-StartRecording")));
        EXPECT_EQ(client.Read(14), galdera_test::Frame(2, 0xA5A5A5A5u, 2, {'0', 0}));
    }
    server->SetFault(Fault::None);
    EXPECT_EQ(client.Command("-StartRecording"), "0");
}

TEST_F(ServerTest, DeliveryFaultsKeepTheBytesButChangeTheirArrival) {
    server->SetFault(Fault::OneBytePieces, 1);
    EXPECT_EQ(client.Command("-GetApplicationName"), "Galdera GalderaSim");
    server->SetFault(Fault::SlowAnswer, 1);
    EXPECT_EQ(client.Command("-GetApplicationName"), "Galdera GalderaSim");

    server->SetFault(Fault::NoAnswer, 1);
    ASSERT_TRUE(client.Send(galdera_test::CommandFrame("-StartAcquisition")));
    EXPECT_TRUE(client.Silent(100ms));
    EXPECT_EQ(client.Command("-GetApplicationName"), "Galdera GalderaSim");

    server->SetFault(Fault::CloseInsteadOfAnswer, 1);
    ASSERT_TRUE(client.Send(galdera_test::CommandFrame("-StartAcquisition")));
    EXPECT_TRUE(client.ClosedByPeer());
}

TEST_F(ServerTest, CorruptFramesFromTheClientCloseTheConnectionUnrecorded) {
    const std::vector<Bytes> corrupt = {
        galdera_test::Frame(2, 0xA5A5A5A5u, 2, {'x', 0}),
        galdera_test::Frame(1, 0xA5A5A5A4u, 2, {'x', 0}),
        galdera_test::Frame(1, 0xA5A5A5A5u, 0, {}),
        galdera_test::Frame(1, 0xA5A5A5A5u, -5, {}),
        galdera_test::Frame(1, 0xA5A5A5A5u, 16 * 1024 * 1024 + 1, {'x'}),
    };
    for (const Bytes& frame : corrupt) {
        Peer peer;
        ASSERT_TRUE(peer.Connect(server->CommandPort()));
        ASSERT_TRUE(peer.Send(frame));
        EXPECT_TRUE(peer.ClosedByPeer());
    }
    EXPECT_TRUE(server->Received().empty());
    EXPECT_EQ(client.Command("-GetApplicationName"), "Galdera GalderaSim");
}

TEST(ServerEcho, EchoPrintsOneFlushedLinePerCommand) {
    std::ostringstream echo;
    ServerOptions options = FreePorts();
    options.echo = &echo;
    GalderaServer server(options);
    ASSERT_TRUE(server.Start());
    Peer client;
    ASSERT_TRUE(client.Connect(server.CommandPort()));
    ASSERT_TRUE(client.Command(" -PostEvent \"Tone on\" 0 0"));
    ASSERT_TRUE(client.Command("-SetDIOPortBits AcqSystem1 0 8"));
    server.Stop();
    const auto received = server.Received();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(echo.str(), std::to_string(received[0].micros) + " 1  -PostEvent \"Tone on\" 0 0\n" +
                              std::to_string(received[1].micros) + " 1 -SetDIOPortBits AcqSystem1 0 8\n");
}

TEST(ServerPorts, StartFailsWhenAPortIsTaken) {
    Listener taken;
    ServerOptions options = FreePorts();
    options.commandPort = taken.Port();
    GalderaServer server(options);
    EXPECT_FALSE(server.Start());
}

TEST(ServerLoad, ManyClientsAtOnceAreAllAnsweredAndRecorded) {
    GalderaServer server(FreePorts());
    ASSERT_TRUE(server.Start());
    constexpr int kClients = 16;
    constexpr int kCommands = 25;
    std::vector<std::thread> clients;
    clients.reserve(kClients);
    std::vector<int> answered(kClients, 0);
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            Peer peer;
            if (!peer.Connect(server.CommandPort())) return;
            for (int i = 0; i < kCommands; ++i) {
                const std::string text = "-LogMessage client" + std::to_string(c) + " " + std::to_string(i);
                if (peer.Command(text) == "0") ++answered[static_cast<std::size_t>(c)];
            }
        });
    }
    for (std::thread& t : clients) t.join();
    for (int count : answered) EXPECT_EQ(count, kCommands);
    const auto received = server.Received();
    ASSERT_EQ(received.size(), std::size_t{kClients * kCommands});
    // Each connection's commands are kept in the order it sent them.
    std::map<int, int> nextIndex;
    for (const auto& command : received) {
        const auto space = command.text.rfind(' ');
        EXPECT_EQ(std::stoi(command.text.substr(space + 1)), nextIndex[command.connection]++);
    }
}

TEST_F(ServerTest, IdleConnectionsAndUnusedHandedOutPortsAreClosedAfterTheIdleTime) {
    ServerOptions options = FreePorts();
    options.idleTimeout = 300ms;
    StartWith(options);
    Peer handout;
    ASSERT_TRUE(handout.Connect(server->HandoutPort()));
    const auto answer = handout.Command("-GetNextAvailablePortNumber");
    ASSERT_TRUE(answer && answer->starts_with("0 "));
    const int handedOut = std::stoi(answer->substr(2));
    // A client that keeps sending commands stays; the silent ones are closed.
    for (int i = 0; i < 6; ++i) {
        std::this_thread::sleep_for(100ms);
        ASSERT_EQ(client.Command("-StartAcquisition"), "0") << "an active connection was closed";
    }
    EXPECT_TRUE(handout.ClosedByPeer(2s));
    Peer late;
    EXPECT_FALSE(late.Connect(handedOut)) << "the unused handed-out port still listens";
}

TEST_F(ServerTest, ConnectionsBeyondTheCapAreClosedAtOnceWithALineAndPortRequestsRefused) {
    std::ostringstream notices;
    ServerOptions options = FreePorts();
    options.maxConnections = 2;
    options.notices = &notices;
    StartWith(options);  // the fixture's client holds the first
    // Once it is answered, the server has accepted the first and counts it.
    ASSERT_EQ(client.Command("-StartAcquisition"), "0");
    Peer second;
    ASSERT_TRUE(second.Connect(server->HandoutPort()));
    ASSERT_EQ(second.Command("-GetNextAvailablePortNumber"), "-1");  // the port would be a third
    Peer third;
    ASSERT_TRUE(third.Connect(server->CommandPort()));
    EXPECT_TRUE(third.ClosedByPeer(2s));
    EXPECT_EQ(client.Command("-StartAcquisition"), "0");
    server->Stop();  // the accept thread has written its line
    EXPECT_EQ(notices.str(),
              "galdera-sim: closed a new connection at once: 2 connections are open already (1 so far)\n");
}

}  // namespace
