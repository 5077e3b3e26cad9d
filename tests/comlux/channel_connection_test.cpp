// The command channel against a scripted loopback peer: connecting, framing, corrupt answers,
// lost connections and the log lines that explain them.
#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "comlux/internal/CommandFrame.h"
#include "comlux/internal/NetworkNodeClient.h"
#include "tests/support/Loopback.h"
#include "tests/support/ScriptedPeer.h"
#include "tests/support/TempDir.h"

namespace {

using comlux::CommandFrame;
using testing::ElementsAre;
using testing::HasSubstr;
using testsupport::Frame;
using testsupport::ScriptedPeer;
using testsupport::TextFrame;

// The message part of every entry line of a log file (what follows the time stamp).
std::vector<std::string> LogMessages(const std::string& path) {
    const std::string text = testsupport::ReadFile(path);
    std::vector<std::string> messages;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        const auto dash = line.find(" - ");
        if (line.rfind("-* ", 0) == 0 && dash != std::string::npos) messages.push_back(line.substr(dash + 3));
        at = end + 2;
    }
    return messages;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class ChannelTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(client.OpenLogFile(dir.File("log.txt")));
        client.SetMessageHandler([this](const std::string& text) { shown.push_back(text); });
    }

    std::vector<std::string> Log() { return LogMessages(dir.File("log.txt")); }

    testsupport::TempDir dir;
    comlux::NetworkNodeClient client;
    std::vector<std::string> shown;
};

TEST_F(ChannelTest, ConnectSendsOneExactFrameAndKeepsTheWordAfterTheFirstBlank) {
    ScriptedPeer peer;
    peer.Answer("Galdera Sim App").Answer("0 done");
    peer.Start();
    ASSERT_TRUE(client.InitializeClient("127.0.0.1", peer.Port()));
    EXPECT_TRUE(client.IsInitialized());
    EXPECT_EQ(client.GetServerApplicationName(), "Sim App");
    EXPECT_EQ(client.GetServerIPAddress(), "127.0.0.1");
    EXPECT_EQ(client.GetServerName(), "127.0.0.1");
    std::string reply;
    ASSERT_TRUE(client.SendCommand("-StartAcquisition"));
    ASSERT_TRUE(client.GetReply(reply));
    EXPECT_EQ(reply, "0 done");
    ASSERT_TRUE(peer.Finish());

    const std::string expected = std::string("\x01\x00\x00\x00\xA5\xA5\xA5\xA5\x14\x00\x00\x00", 12) +
                                 "-GetApplicationName" + std::string(1, '\0');
    ASSERT_EQ(expected.size(), 32u);
    EXPECT_EQ(peer.Frames().at(0), expected);
    EXPECT_THAT(peer.Commands(), ElementsAre("-GetApplicationName", "-StartAcquisition"));

    const auto log = Log();
    const std::string op = "NetworkNodeClient::InitializeClient() - ";
    EXPECT_THAT(
        log,
        ElementsAre(
            op + "Attempting to initialize Message Client connection.  serverName: 127.0.0.1, portNumber: " +
                std::to_string(peer.Port()),
            op + "Attempting to create Client Socket", op + "Client Socket created successfully",
            op + "Attempting to request information about our connection.",
            op + "Request for information was successful.",
            op + "Attempting to establish a connection to our server.",
            op + "Connection successfully established", op + "Message Client successfully initialized"));
}

TEST_F(ChannelTest, ApplicationNameWithoutBlankIsTakenWholeAndSecondInitializeIsRefused) {
    ScriptedPeer peer;
    peer.Answer("Galdera").ExpectClose();
    peer.Start();
    ASSERT_TRUE(client.InitializeClient("127.0.0.1", peer.Port()));
    EXPECT_EQ(client.GetServerApplicationName(), "Galdera");

    EXPECT_FALSE(client.InitializeClient("localhost", 1));
    EXPECT_TRUE(client.IsInitialized());
    EXPECT_EQ(client.GetServerName(), "127.0.0.1");
    EXPECT_TRUE(Contains(Log(),
                         "NetworkNodeClient::InitializeClient() - Attempting to initialize Message Client "
                         "that has already been initialized, unable to re-initialize"));
    EXPECT_TRUE(client.ShutdownClient());
    ASSERT_TRUE(peer.Finish());
    EXPECT_EQ(peer.Commands().size(), 1u);
    EXPECT_EQ(client.GetServerName(), "Not Connected");
    EXPECT_EQ(client.GetServerIPAddress(), "Not Connected");
    EXPECT_EQ(client.GetServerApplicationName(), "Galdera");
}

TEST_F(ChannelTest, AnswerArrivingInManySmallSegmentsIsReadWhole) {
    const std::string answer = "0 " + std::string(300, 'x');
    ScriptedPeer peer;
    peer.Answer("G A").ReadFrame().Send(TextFrame(answer), 1);
    peer.Start();
    ASSERT_TRUE(client.InitializeClient("127.0.0.1", peer.Port()));
    ASSERT_TRUE(client.SendCommand("-RequestGalderaObjects"));
    std::string reply;
    EXPECT_TRUE(client.GetReply(reply));
    EXPECT_EQ(reply, answer);
    EXPECT_TRUE(peer.Finish());
}

struct CorruptHeader {
    std::string name;
    std::string bytes;
    std::string shown;   // message shown to the user, empty for none
    std::string logged;  // log line, empty for none
};

class CorruptAnswerTest : public ChannelTest, public testing::WithParamInterface<CorruptHeader> {};

const std::vector<std::string> kShutdownLines = {
    "NetworkNodeClient::ShutdownClient() - Attempting to Shutdown Message Client",
    "NetworkNodeClient::ShutdownClient() - Attempting to Close Message Client Socket",
    "NetworkNodeClient::ShutdownClient() - Attempt to Close Message Client Socket was successful"};

TEST_P(CorruptAnswerTest, FailsWithItsMessageAndShutsTheChannelDown) {
    const CorruptHeader& c = GetParam();
    ScriptedPeer peer;
    // A good answer waits behind the corrupt one: it must never be read as the next answer.
    peer.Answer("G A").ReadFrame().Send(c.bytes + TextFrame("0 next")).ExpectClose();
    peer.Start();
    ASSERT_TRUE(client.InitializeClient("127.0.0.1", peer.Port()));
    ASSERT_TRUE(client.SendCommand("-GetSomething"));
    const std::size_t before = Log().size();
    std::string reply = "unchanged";
    EXPECT_FALSE(client.GetReply(reply));
    EXPECT_EQ(reply, "-1");
    EXPECT_FALSE(client.IsInitialized());
    EXPECT_FALSE(client.SendCommand("-Next"));
    EXPECT_FALSE(client.GetReply(reply));
    if (c.shown.empty()) {
        EXPECT_TRUE(shown.empty());
    } else {
        EXPECT_THAT(shown, ElementsAre(c.shown));
    }
    std::vector<std::string> expected;
    if (!c.logged.empty()) expected.push_back(c.logged);
    expected.insert(expected.end(), kShutdownLines.begin(), kShutdownLines.end());
    const auto log = Log();
    EXPECT_EQ(std::vector<std::string>(log.begin() + static_cast<long>(before), log.end()), expected);
    EXPECT_TRUE(peer.Finish());
    EXPECT_THAT(peer.Commands(), ElementsAre("-GetApplicationName", "-GetSomething"));
}

const std::string kInvalidVersion =
    "Error, invalid version number, data has been corrupted or improperly formatted";
const std::string kUnsupported =
    "Error, this Version of Brontavix Network Communication is not Supported, please update to the latest "
    "version "
    "of the software.  Version #";
const std::string kBadCode =
    "Error, invalid validation code, data has been corrupted or improperly formatted";
const std::string kBadSize =
    "NetworkNodeClient::RecieveMessage() - Invalid message size for recieving message, messageSize: ";

INSTANTIATE_TEST_SUITE_P(
    Headers, CorruptAnswerTest,
    testing::Values(CorruptHeader{"VersionZero", Frame(std::string("x\0", 2), 0), kInvalidVersion, ""},
                    CorruptHeader{"VersionNegative", Frame(std::string("x\0", 2), -3), kInvalidVersion, ""},
                    CorruptHeader{"VersionTwo", Frame(std::string("x\0", 2), 2), kUnsupported + "2", ""},
                    CorruptHeader{"BadValidation", Frame(std::string("x\0", 2), 1, 0xA5A5A5A4u), kBadCode,
                                  ""},
                    CorruptHeader{"LengthZero", Frame("", 1, 0xA5A5A5A5u, 0), "", kBadSize + "0"},
                    CorruptHeader{"LengthNegative", Frame("", 1, 0xA5A5A5A5u, -5), "", kBadSize + "-5"},
                    CorruptHeader{"LengthOverBound", Frame("abc", 1, 0xA5A5A5A5u, 16 * 1024 * 1024 + 1), "",
                                  kBadSize + "16777217"},
                    CorruptHeader{"LengthAtIntMax", Frame("abc", 1, 0xA5A5A5A5u, INT32_MAX), "",
                                  kBadSize + "2147483647"}),
    [](const testing::TestParamInfo<CorruptHeader>& info) { return info.param.name; });

// Only the first 8 bytes of the header come, then nothing for longer than the answer may take: a
// bad version shows in them, and must be reported without waiting for the length field.
TEST_F(ChannelTest, ABadVersionIsReportedAsSoonAsTheFirstEightHeaderBytesArrive) {
    client.SetAnswerTimeout(std::chrono::milliseconds(1000));
    ScriptedPeer peer;
    peer.Answer("G A")
        .ReadFrame()
        .Send(Frame(std::string("x\0", 2), 2).substr(0, 8))
        .Pause(std::chrono::seconds(3));
    peer.Start();
    ASSERT_TRUE(client.InitializeClient("127.0.0.1", peer.Port()));
    ASSERT_TRUE(client.SendCommand("-GetSomething"));
    std::string reply;
    EXPECT_FALSE(client.GetReply(reply));
    EXPECT_THAT(shown, ElementsAre(kUnsupported + "2"));
    for (const std::string& line : Log()) EXPECT_THAT(line, testing::Not(HasSubstr("WSAETIMEDOUT")));
    peer.Finish();
}

TEST_F(ChannelTest, PeerClosingMidAnswerClosesTheChannel) {
    ScriptedPeer peer;
    peer.Answer("Galdera Sim").ReadFrame().Send(Frame("0 partial").substr(0, 10)).Close();
    peer.Start();
    ASSERT_TRUE(client.InitializeClient("127.0.0.1", peer.Port()));
    ASSERT_TRUE(client.SendCommand("-GetSomething"));
    std::string reply;
    EXPECT_FALSE(client.GetReply(reply));
    EXPECT_EQ(reply, "-1");
    EXPECT_FALSE(client.IsInitialized());
    EXPECT_EQ(client.GetServerName(), "Not Connected");
    EXPECT_EQ(client.GetServerApplicationName(), "Sim");
    EXPECT_FALSE(client.SendCommand("-Next"));
    EXPECT_TRUE(peer.Finish());

    const auto log = Log();
    const auto closed =
        std::find(log.begin(), log.end(),
                  "NetworkNodeClient::GetBuffer() - Attempting to recieve data has failed, socket has "
                  "been closed gracefully");
    ASSERT_NE(closed, log.end());
    EXPECT_THAT(
        std::vector<std::string>(closed + 1, log.end()),
        ElementsAre("NetworkNodeClient::ShutdownClient() - Attempting to Shutdown Message Client",
                    "NetworkNodeClient::ShutdownClient() - Attempting to Close Message Client Socket",
                    "NetworkNodeClient::ShutdownClient() - Attempt to Close Message Client Socket was "
                    "successful"));
}

TEST_F(ChannelTest, SendingToAClosedPeerFailsWithoutKillingTheProcess) {
    ScriptedPeer peer;
    peer.Answer("G A").Close();
    peer.Start();
    ASSERT_TRUE(client.InitializeClient("127.0.0.1", peer.Port()));
    ASSERT_TRUE(peer.Finish());
    // The first send may still be taken by the kernel; the reset then fails a later one.
    bool sent = true;
    for (int i = 0; i < 50 && sent; ++i) sent = client.SendCommand("-PostEvent \"x\" 0 0");
    EXPECT_FALSE(sent);
    EXPECT_FALSE(client.IsInitialized());
    const auto log = Log();
    const auto failed =
        std::find(log.begin(), log.end(),
                  "NetworkNodeClient::SendMessage() - Unable to send data, call to send() failed, we "
                  "must have lost our socket.  message: -PostEvent \"x\" 0 0");
    ASSERT_NE(failed, log.end());
    ASSERT_NE(failed, log.begin());
    EXPECT_THAT(*(failed - 1),
                HasSubstr("NetworkNodeClient::ProcessSendError() - Error sending data, error code: "));
    EXPECT_EQ(*(failed + 1), "NetworkNodeClient::ShutdownClient() - Attempting to Shutdown Message Client");
}

TEST_F(ChannelTest, UnansweredCommandTimesOutAndGivesTheConnectionUp) {
    client.SetAnswerTimeout(std::chrono::milliseconds(200));
    ScriptedPeer peer;
    peer.Answer("G A").ReadFrame().ExpectClose();
    peer.Start();
    ASSERT_TRUE(client.InitializeClient("127.0.0.1", peer.Port()));
    ASSERT_TRUE(client.SendCommand("-NeverAnswered"));
    std::string reply;
    EXPECT_FALSE(client.GetReply(reply));
    EXPECT_EQ(reply, "-1");
    EXPECT_FALSE(client.IsInitialized());
    ASSERT_TRUE(peer.Finish());
    EXPECT_TRUE(peer.SawClose());
    EXPECT_TRUE(Contains(Log(),
                         "NetworkNodeClient::ProcessRecieveError() - Error recieving data, error code: "
                         "WSAETIMEDOUT - The connection has been dropped, because of a network failure or "
                         "because the system on the other end went down without notice."));
}

TEST_F(ChannelTest, RefusedConnectionIsExplainedAndLeavesTheChannelClosed) {
    const int port = testsupport::UnusedLoopbackPort();
    EXPECT_FALSE(client.InitializeClient("127.0.0.1", port));
    EXPECT_FALSE(client.IsInitialized());
    const auto log = Log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2],
              "NetworkNodeClient::ConnectToServer() - Error Connecting To Server, error code: "
              "WSAECONNREFUSED - The attempt to connect was forcefully rejected.");
    EXPECT_EQ(log.back(),
              "NetworkNodeClient::InitializeClient() - Failure: Unable to initialize message client");

    // A failed attempt leaves nothing behind: the next one connects normally.
    ScriptedPeer peer;
    peer.Answer("G A");
    peer.Start();
    EXPECT_TRUE(client.InitializeClient("127.0.0.1", peer.Port()));
    EXPECT_TRUE(peer.Finish());
}

TEST_F(ChannelTest, PortOutsideSixteenBitsIsRefusedInsteadOfCutToAnotherPort) {
    ScriptedPeer peer;  // never started: a connection to it would succeed unnoticed
    for (const int port : {peer.Port() + 65536, -peer.Port(), 0}) {
        EXPECT_FALSE(client.InitializeClient("127.0.0.1", port)) << port;
        EXPECT_FALSE(client.IsInitialized());
        const auto log = Log();
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log[log.size() - 2],
                  "NetworkNodeClient::ConnectToServer() - Error Connecting To Server, error code: "
                  "WSAEADDRNOTAVAIL - The remote address is not a valid address (such as "
                  "ADDR_ANY).");
        EXPECT_EQ(log.back(),
                  "NetworkNodeClient::InitializeClient() - Failure: Unable to initialize message client");
    }
}

TEST_F(ChannelTest, UnresolvableHostIsExplained) {
    EXPECT_FALSE(client.InitializeClient("no-such-host.invalid", 26100));
    const auto log = Log();
    ASSERT_GE(log.size(), 2u);
    // A resolver says "not found"; a machine without one ends up with the temporary failure.
    EXPECT_THAT(log[log.size() - 2],
                testing::AnyOf("NetworkNodeClient::GetServerInfo() - Error Getting Server Name, error code: "
                               "WSAHOST_NOT_FOUND - Authoritative answer host not found.",
                               "NetworkNodeClient::GetServerInfo() - Error Getting Server Name, error code: "
                               "WSATRY_AGAIN - Nonauthoritative host not found, or server failure."));
    EXPECT_EQ(log.back(),
              "NetworkNodeClient::InitializeClient() - Failure: Unable to initialize message client");
}

TEST_F(ChannelTest, OperationsOnAClosedChannelFailQuietly) {
    std::string reply = "kept";
    EXPECT_FALSE(client.SendCommand("-Anything"));
    EXPECT_FALSE(client.GetReply(reply));
    EXPECT_EQ(reply, "-1");
    EXPECT_FALSE(client.ShutdownClient());
    EXPECT_THAT(
        Log(), ElementsAre("NetworkNodeClient::ShutdownClient() - Attempting to Shutdown Message Client",
                           "NetworkNodeClient::ShutdownClient() - Unable to Close Message Client, Client has "
                           "not yet been initialized"));
}

TEST_F(ChannelTest, AnswerOfExactlyTheLargestSizeIsAccepted) {
    const std::string text(CommandFrame::kMaxPayloadLength - 1, 'x');  // and its NUL
    ScriptedPeer peer;
    peer.Answer("G A").Answer(text);
    peer.Start();
    ASSERT_TRUE(client.InitializeClient("127.0.0.1", peer.Port()));
    ASSERT_TRUE(client.SendCommand("-RequestRingBuffer SE1"));
    std::vector<unsigned char> block;
    int length = 0;
    EXPECT_TRUE(client.RecieveMessage(block, length));
    EXPECT_EQ(length, CommandFrame::kMaxPayloadLength);
    EXPECT_TRUE(client.IsInitialized());
    EXPECT_TRUE(peer.Finish());
}

TEST_F(ChannelTest, TwoAnswersToOneCommandShutTheChannelBeforeTheSecondIsTakenForTheNext) {
    ScriptedPeer peer;
    peer.Answer("G A").ReadFrame().Send(TextFrame("0 first") + TextFrame("0 second")).ExpectClose();
    peer.Start();
    ASSERT_TRUE(client.InitializeClient("127.0.0.1", peer.Port()));
    std::string reply;
    ASSERT_TRUE(client.SendCommand("-StartAcquisition"));
    ASSERT_TRUE(client.GetReply(reply));
    EXPECT_EQ(reply, "0 first");
    const std::size_t before = Log().size();
    EXPECT_FALSE(client.SendCommand("-StopAcquisition"));
    EXPECT_FALSE(client.GetReply(reply));
    EXPECT_EQ(reply, "-1");
    EXPECT_FALSE(client.IsInitialized());
    EXPECT_TRUE(peer.Finish());
    EXPECT_THAT(peer.Commands(), ElementsAre("-GetApplicationName", "-StartAcquisition"));
    std::vector<std::string> expected = {
        "NetworkNodeClient::SendMessage() - Error, data arrived that no command asked for, the connection "
        "is out of step and is shut down"};
    expected.insert(expected.end(), kShutdownLines.begin(), kShutdownLines.end());
    const auto log = Log();
    EXPECT_EQ(std::vector<std::string>(log.begin() + static_cast<long>(before), log.end()), expected);
}

// The answer comes 400 ms after the command, and is read from 200 ms on: counted from the send, its
// 300 ms are over before it arrives.
TEST_F(ChannelTest, TheAnswerLimitRunsFromTheSendNotFromTheStartOfTheRead) {
    client.SetAnswerTimeout(std::chrono::milliseconds(300));
    ScriptedPeer peer;
    peer.Answer("G A").ReadFrame().Pause(std::chrono::milliseconds(400)).Send(TextFrame("0 late"));
    peer.Start();
    ASSERT_TRUE(client.InitializeClient("127.0.0.1", peer.Port()));
    ASSERT_TRUE(client.SendCommand("-RequestSamplingFrequency CSC1"));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::string reply;
    EXPECT_FALSE(client.GetReply(reply)) << "an answer after its limit was taken";
    EXPECT_FALSE(client.IsInitialized());
    peer.Finish();
}

TEST_F(ChannelTest, AnswerTricklingInSlowerThanItsLimitIsGivenUpWhateverTheGapsBetweenBytes) {
    client.SetAnswerTimeout(std::chrono::milliseconds(150));
    ScriptedPeer peer;
    peer.Answer("G A").ReadFrame();
    // Every gap is shorter than the limit; the whole answer takes far longer.
    for (const char byte : TextFrame("0 slow"))
        peer.Pause(std::chrono::milliseconds(40)).Send(std::string(1, byte));
    peer.Start();
    ASSERT_TRUE(client.InitializeClient("127.0.0.1", peer.Port()));
    ASSERT_TRUE(client.SendCommand("-RequestSamplingFrequency CSC1"));
    std::string reply;
    EXPECT_FALSE(client.GetReply(reply));
    EXPECT_FALSE(client.IsInitialized());
    EXPECT_TRUE(Contains(Log(),
                         "NetworkNodeClient::ProcessRecieveError() - Error recieving data, error code: "
                         "WSAETIMEDOUT - The connection has been dropped, because of a network failure or "
                         "because the system on the other end went down without notice."));
    peer.Finish();
}

TEST_F(ChannelTest, ServerThatStopsReadingFailsTheSendAndShutsTheChannelDown) {
    client.SetSendTimeout(std::chrono::milliseconds(150));
    client.SetAnswerTimeout(std::chrono::seconds(20));  // a send must not be given this long
    ScriptedPeer peer;
    peer.Answer("G A");  // then reads nothing more
    peer.Start();
    ASSERT_TRUE(client.InitializeClient("127.0.0.1", peer.Port()));
    ASSERT_TRUE(peer.Finish());
    const std::string command = "-LogMessage " + std::string(1 << 20, 'm') + " 0";
    // The first commands fill the connection's buffers; then one cannot be sent in time.
    int sent = 0;
    auto lastStart = std::chrono::steady_clock::now();
    while (sent < 512) {
        lastStart = std::chrono::steady_clock::now();
        if (!client.SendCommand(command)) break;
        ++sent;
    }
    ASSERT_LT(sent, 512);
    // The send limit, not the answer limit, ended the stalled send.
    EXPECT_LT(std::chrono::steady_clock::now() - lastStart, std::chrono::seconds(5));
    EXPECT_FALSE(client.IsInitialized());
    const auto log = Log();
    const auto failed = std::find_if(log.begin(), log.end(), [](const std::string& line) {
        return line.starts_with(
            "NetworkNodeClient::SendMessage() - Unable to send data, call to send() "
            "failed, we must have lost our socket.  message: -LogMessage mmm");
    });
    ASSERT_NE(failed, log.begin());
    ASSERT_NE(failed, log.end());
    EXPECT_EQ(*(failed - 1),
              "NetworkNodeClient::ProcessSendError() - Error sending data, error code: WSAETIMEDOUT - The "
              "connection has been dropped, because of a network failure or because the system on the other "
              "end went down without notice.");
    EXPECT_EQ(std::vector<std::string>(failed + 1, log.end()), kShutdownLines);
}

TEST_F(ChannelTest, ServerWhoseAcceptQueueIsFullIsGivenUpAfterTheConnectLimit) {
    client.SetConnectTimeout(std::chrono::milliseconds(150));
    // A listener that never accepts, its queue filled by connections nobody takes: a backlog of 0
    // holds one, and the attempts after it wait unanswered.
    testsupport::LoopbackListener listener;
    ASSERT_TRUE(listener.IsListening());
    ASSERT_EQ(::listen(listener.Fd(), 0), 0);
    std::vector<testsupport::LoopbackConnection> fillers;
    for (int i = 0; i < 4; ++i) {
        testsupport::LoopbackConnection filler(
            ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(listener.Port()));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        // Non-blocking: the attempt stays under way in the queue, which is all a filler is for.
        (void)::connect(filler.Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
        fillers.push_back(std::move(filler));
    }

    EXPECT_FALSE(client.InitializeClient("127.0.0.1", listener.Port()));
    EXPECT_FALSE(client.IsInitialized());
    const auto log = Log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2],
              "NetworkNodeClient::ConnectToServer() - Error Connecting To Server, error code: WSAETIMEDOUT - "
              "Attempt to connect timed out without establishing a connection.");
    EXPECT_EQ(log.back(),
              "NetworkNodeClient::InitializeClient() - Failure: Unable to initialize message client");
}

TEST_F(ChannelTest, StreamPortThatIsNoPortNumberFailsThatListenerInsteadOfTakingAnyPort) {
    const std::vector<std::string> portAnswers = {"0 0",
                                                  "0 abc",
                                                  "0 65536",
                                                  "0 " + std::to_string(testsupport::UnusedLoopbackPort()),
                                                  "0 " + std::to_string(testsupport::UnusedLoopbackPort()),
                                                  "0 " + std::to_string(testsupport::UnusedLoopbackPort())};
    ScriptedPeer peer;
    peer.Answer("G A");
    for (const std::string& answer : portAnswers) peer.Answer(answer).Answer("0");
    peer.ExpectClose();
    peer.Start();
    ASSERT_TRUE(client.InitializeClient("127.0.0.1", peer.Port()));
    EXPECT_EQ(client.InitializeConnectionNodes(), 0);
    EXPECT_TRUE(client.ShutdownClient());
    ASSERT_TRUE(peer.Finish());

    const std::string invalid =
        "NodeConnectionClient::BindSocket() - Error Binding Socket, invalid port number: ";
    const auto log = Log();
    EXPECT_TRUE(Contains(log, invalid + "0  mStreamType: SingleElectrode"));
    // Text is no port either; the previous listener's port is not taken for it.
    EXPECT_TRUE(Contains(log, invalid + "0  mStreamType: Stereotrode"));
    EXPECT_TRUE(Contains(log, invalid + "65536  mStreamType: Tetrode"));
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [&](const std::string& line) { return line.starts_with(invalid); }),
              3);
    const auto commands = peer.Commands();
    ASSERT_EQ(commands.size(), 13u);
    EXPECT_EQ(commands[2], "-CreateStream 127.0.0.1 0 SEScAcqEnt");
    EXPECT_EQ(commands[4], "-CreateStream 127.0.0.1 0 STScAcqEnt");
}

}  // namespace
