// The client facade against the in-process stand-in server on free loopback ports: the
// connection procedure, the request conventions, streams with records, and disconnecting
// while another thread waits for an answer.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <thread>
#include <unistd.h>

#include "comlux/ComluxClient.h"
#include "galdera/GalderaServer.h"
#include "tests/comlux/Watchdog.h"
#include "tests/support/ScriptedPeer.h"
#include "tests/support/StandIn.h"
#include "tests/support/TempDir.h"

namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using testing::Not;

std::string HostName() {
    char name[128] = {};
    ::gethostname(name, sizeof name - 1);
    return name;
}

class FacadeTest : public testing::Test {
protected:
    void SetUp() override {
        galdera::ServerOptions options;
        options.recordsPerSecond = 1000;
        server = testsupport::StartStandIn(options);
        ASSERT_NE(server, nullptr);
        client.SetPorts(server->HandoutPort(), server->CommandPort());
        ASSERT_TRUE(client.OpenLogFile(dir.File("log.txt")));
    }

    void Answer(std::string command, std::string answer) {
        overrides.emplace_back(std::move(command), std::move(answer));
        server->SetAnswerOverride([this](const std::string& command) -> std::optional<std::string> {
            for (const auto& [text, answer] : overrides) {
                if (text == command) return answer;
            }
            return std::nullopt;
        });
    }

    std::vector<std::string> CommandsOn(int connection) const {
        std::vector<std::string> texts;
        for (const auto& command : server->Received()) {
            if (command.connection == connection) texts.push_back(command.text);
        }
        return texts;
    }

    std::string LogText() const { return testsupport::ReadFile(dir.File("log.txt")); }

    testsupport::TempDir dir;
    std::unique_ptr<galdera::GalderaServer> server;
    std::vector<std::pair<std::string, std::string>> overrides;
    comlux::ComluxClient client;
};

TEST_F(FacadeTest, ConnectsThroughTheHandedOutPortAndSetsUpEveryStream) {
    EXPECT_EQ(client.GetServerName(), "Not Connected");
    ASSERT_TRUE(client.OpenConnection("127.0.0.1", true));
    EXPECT_THAT(CommandsOn(1), ElementsAre("-GetApplicationName", "-GetNextAvailablePortNumber"));
    const auto commands = CommandsOn(2);
    ASSERT_EQ(commands.size(), 14u);
    EXPECT_EQ(commands.front(), "-GetApplicationName");
    const char* types[] = {"SEScAcqEnt", "STScAcqEnt", "TTScAcqEnt", "CscAcqEnt", "VTAcqEnt", "EventAcqEnt"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(commands[1 + 2 * i], "-GetNextAvailablePortNumber");
        EXPECT_THAT(commands[2 + 2 * i],
                    testing::MatchesRegex("-CreateStream 127\\.0\\.0\\.1 [0-9]+ " + std::string(types[i])));
    }
    EXPECT_EQ(commands.back(), "-SetComputerName " + HostName());
    EXPECT_EQ(client.GetServerName(), "127.0.0.1");
    EXPECT_EQ(client.GetServerIPAddress(), "127.0.0.1");
    EXPECT_EQ(client.GetServerApplicationName(), "GalderaSim");

    EXPECT_TRUE(client.SetApplicationName("Sequora"));
    EXPECT_EQ(CommandsOn(2).back(), "-SetApplicationName \"Sequora\"");
    std::vector<std::string> objects;
    std::vector<std::string> types2;
    ASSERT_TRUE(client.GetObjectsAndTypes(objects, types2));
    const auto defaults = galdera::DefaultObjects();
    ASSERT_EQ(objects.size(), defaults.size());
    for (std::size_t i = 0; i < defaults.size(); ++i) {
        EXPECT_EQ(objects[i], defaults[i].name);
        EXPECT_EQ(types2[i], defaults[i].type);
    }

    // Nothing was opened: the shutdown asks the listeners, which know no object, and sends no close.
    EXPECT_TRUE(client.CloseConnection());
    EXPECT_THAT(CommandsOn(2), Not(testing::Contains(HasSubstr("-CloseStream"))));
    EXPECT_THAT(LogText(), HasSubstr("the object was not found.  objectName: SE Ref"));
    EXPECT_EQ(client.GetServerName(), "Not Connected");
    EXPECT_EQ(client.GetServerApplicationName(), "GalderaSim");
}

TEST_F(FacadeTest, FallsBackToTheCommandPortWhenNoPortIsHandedOut) {
    client.SetPorts(testsupport::UnusedLoopbackPort(), server->CommandPort());
    ASSERT_TRUE(client.OpenConnection("127.0.0.1", true));
    EXPECT_EQ(CommandsOn(1).front(), "-GetApplicationName");
    EXPECT_EQ(CommandsOn(1).back(), "-SetComputerName " + HostName());
    EXPECT_THAT(LogText(),
                HasSubstr("error code: WSAECONNREFUSED - The attempt to connect was forcefully rejected."));
}

TEST_F(FacadeTest, ObjectListsStayParallelWhenTheServerSendsTooFewTypes) {
    Answer("-RequestGalderaObjects", "0 SE1 \"SE Ref\" CSC1");
    Answer("-RequestGalderaTypes", "0 SEScAcqEnt");
    ASSERT_TRUE(client.OpenConnection("127.0.0.1", false));
    std::vector<std::string> objects;
    std::vector<std::string> types;
    ASSERT_TRUE(client.GetObjectsAndTypes(objects, types));
    EXPECT_THAT(objects, ElementsAre("SE1", "SE Ref", "CSC1"));
    EXPECT_THAT(types, ElementsAre("SEScAcqEnt", "", ""));
    // An object without a type cannot be opened, and closing everything does not stumble on it.
    EXPECT_FALSE(client.OpenStream("CSC1", "CscAcqEnt"));
    EXPECT_TRUE(client.CloseConnection());
}

TEST_F(FacadeTest, RefusedPortRequestClosesTheHandOutConnection) {
    Answer("-GetNextAvailablePortNumber", "-1");
    EXPECT_FALSE(client.OpenConnection("127.0.0.1", true));
    EXPECT_EQ(client.GetServerName(), "Not Connected");
    EXPECT_THAT(CommandsOn(1), ElementsAre("-GetApplicationName", "-GetNextAvailablePortNumber"));
    EXPECT_TRUE(CommandsOn(2).empty());
    std::string answer = "kept";
    EXPECT_FALSE(client.SendCommand("-StartAcquisition", answer));
    EXPECT_EQ(answer, "kept");
}

TEST_F(FacadeTest, StatusAnswersGiveTheirValuesAndFailBelowZero) {
    Answer("-RequestSamplingFrequency CSC1", "0 32000");
    Answer("-RequestSamplingFrequency CSC2", "-3 77");
    Answer("-RequestRingBufferSize SE1", "0 512 16");
    Answer("-RequestADRange SE1", "not a number");
    ASSERT_TRUE(client.OpenConnection("127.0.0.1", false));
    int frequency = -1;
    EXPECT_TRUE(client.RequestSamplingFrequency("CSC1", frequency));
    EXPECT_EQ(frequency, 32000);
    EXPECT_FALSE(client.RequestSamplingFrequency("CSC2", frequency));
    int a = -1;
    int b = -1;
    EXPECT_TRUE(client.RequestRingBufferSize("SE1", a, b));
    EXPECT_EQ(a, 512);
    EXPECT_EQ(b, 16);
    EXPECT_TRUE(client.RequestADRange("SE1", a, b));
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);
    EXPECT_TRUE(client.LogMessage("trial started", 3));
    EXPECT_EQ(CommandsOn(1).back(), "-LogMessage trial started 3");
}

TEST_F(FacadeTest, FeatureAnswerNeedsAStatusAndAText) {
    Answer("-RequestFeature Word 0", "Galdera");
    Answer("-RequestFeature Version 2", "0 1.2 beta");
    Answer("-RequestFeature Missing 1", "-1 UnknownFeature");
    ASSERT_TRUE(client.OpenConnection("127.0.0.1", false));
    std::string value = "kept";
    EXPECT_FALSE(client.RequestFeature("Word", 0, value));
    EXPECT_FALSE(client.RequestFeature("Missing", 1, value));
    EXPECT_EQ(value, "kept");
    EXPECT_TRUE(client.RequestFeature("Version", 2, value));
    EXPECT_EQ(value, "1.2 beta");
}

TEST_F(FacadeTest, RingBufferCopiesNoMoreThanTheBufferHolds) {
    Answer("-RequestRingBuffer SE1", "ABCDEFGHIJ");
    ASSERT_TRUE(client.OpenConnection("127.0.0.1", false));
    unsigned char small[4];
    int copied = -1;
    ASSERT_TRUE(client.RequestRingBuffer("SE1", small, sizeof small, copied));
    EXPECT_EQ(copied, 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(small), 4), "ABCD");

    unsigned char large[32];
    std::memset(large, 0x55, sizeof large);
    ASSERT_TRUE(client.RequestRingBuffer("SE1", large, sizeof large, copied));
    EXPECT_EQ(copied, 11);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(large), 10), "ABCDEFGHIJ");
    EXPECT_TRUE(std::all_of(large + 10, large + sizeof large, [](unsigned char c) { return c == 0; }));

    std::vector<unsigned char> block;
    int length = 0;
    ASSERT_TRUE(client.SendCommandRaw("-RequestRingBuffer SE1", block, length));
    EXPECT_EQ(length, 11);
}

std::atomic<int> gRecords = 0;  // written by the listener's receive thread

void CountRecord(void* context, const unsigned char*, int count, std::string objectName) {
    if (context == &gRecords && count == 1 && objectName == "SE2") ++gRecords;
}

TEST_F(FacadeTest, OpenedStreamDeliversRecordsToTheRegisteredCallback) {
    gRecords = 0;
    client.SetCallbackSE(&CountRecord, &gRecords);
    ASSERT_TRUE(client.OpenConnection("127.0.0.1", true));
    std::vector<std::string> objects;
    std::vector<std::string> types;
    ASSERT_TRUE(client.GetObjectsAndTypes(objects, types));
    EXPECT_FALSE(client.OpenStream("SE2", "CscAcqEnt"));
    ASSERT_TRUE(client.OpenStream("SE2", "SEScAcqEnt"));
    for (int i = 0; i < 500 && gRecords < 3; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GE(gRecords.load(), 3);
    EXPECT_TRUE(client.CloseConnection());
    EXPECT_THAT(CommandsOn(2), testing::Contains("-CloseStream SE2 SEScAcqEnt"));
}

/// The object names one callback has seen.
struct SeenNames {
    static void Note(void* context, const unsigned char*, int, std::string objectName) {
        auto* self = static_cast<SeenNames*>(context);
        std::lock_guard lock(self->lock);
        self->names.insert(std::move(objectName));
        ++self->count;
    }
    std::set<std::string> Names() {
        std::lock_guard lock(this->lock);
        return names;
    }
    int Count() {
        std::lock_guard lock(this->lock);
        return count;
    }
    std::mutex lock;
    std::set<std::string> names;  // guarded by lock
    int count = 0;                // guarded by lock
};

TEST_F(FacadeTest, EachSetterRegistersForTheStreamOfItsOwnKindOnly) {
    SeenNames seen[6];
    client.SetCallbackSE(&SeenNames::Note, &seen[0]);
    client.SetCallbackST(&SeenNames::Note, &seen[1]);
    client.SetCallbackTT(&SeenNames::Note, &seen[2]);
    client.SetCallbackCSC(&SeenNames::Note, &seen[3]);
    client.SetCallbackVT(&SeenNames::Note, &seen[4]);
    client.SetCallbackEV(&SeenNames::Note, &seen[5]);
    ASSERT_TRUE(client.OpenConnection("127.0.0.1", true));
    std::vector<std::string> objects;
    std::vector<std::string> types;
    ASSERT_TRUE(client.GetObjectsAndTypes(objects, types));
    const std::pair<const char*, const char*> opened[] = {{"SE2", "SEScAcqEnt"}, {"ST1", "STScAcqEnt"},
                                                          {"TT2", "TTScAcqEnt"}, {"CSC3", "CscAcqEnt"},
                                                          {"VT1", "VTAcqEnt"},   {"Events", "EventAcqEnt"}};
    for (const auto& [name, type] : opened) ASSERT_TRUE(client.OpenStream(name, type)) << name;
    const auto enough = [&] {
        return std::all_of(std::begin(seen), std::end(seen), [](SeenNames& s) { return s.Count() >= 3; });
    };
    for (int i = 0; i < 1000 && !enough(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(client.CloseConnection());
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_EQ(seen[i].Names(), std::set<std::string>{opened[i].first}) << opened[i].second;
}

TEST_F(FacadeTest, DisconnectCutsShortAnotherThreadsWaitForAnAnswer) {
    ASSERT_TRUE(client.OpenConnection("127.0.0.1", false));
    // Long enough that only the disconnect can end the wait within the test's time limit.
    client.SetAnswerTimeout(std::chrono::seconds(100));
    server->SetFault(galdera::Fault::NoAnswer);
    const std::size_t before = server->Received().size();
    std::atomic<bool> workerResult = true;  // written by the worker thread
    std::thread worker([&] {
        std::string answer;
        workerResult = client.SendCommand("-PostEvent \"stim\" 0 0", answer);
    });
    ASSERT_TRUE(server->WaitForCommands(before + 1, std::chrono::seconds(10)));
    EXPECT_TRUE(client.CloseConnection());
    worker.join();
    EXPECT_FALSE(workerResult);
    EXPECT_EQ(client.GetServerName(), "Not Connected");
    server->SetFault(galdera::Fault::None);
    std::string answer;
    EXPECT_FALSE(client.SendCommand("-Anything", answer));

    // The waiting call blames the local close in one line; the close writes the shutdown lines.
    const std::string log = LogText();
    EXPECT_THAT(log, Not(HasSubstr("WSAETIMEDOUT")));
    EXPECT_THAT(log,
                Not(HasSubstr("NetworkNodeClient::GetBuffer() - Attempting to recieve data has failed")));
    const std::string ended =
        "NetworkNodeClient::GetBuffer() - Receive ended, the connection was closed locally";
    const auto at = log.find(ended);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(log.find(ended, at + 1), std::string::npos);
    EXPECT_NE(log.find("NetworkNodeClient::ShutdownClient() - Attempting to Shutdown Message Client", at),
              std::string::npos);
}

// The handler calls the client itself, and waits for another thread that calls it too: neither
// may wait for the operation that read the corrupt answer.
TEST(FacadeScriptedTest, CorruptAnswerReachesTheInstalledHandlerWhichMayCallTheClient) {
    testsupport::ScriptedPeer peer;
    peer.Answer("G A");
    for (int i = 0; i < 6; ++i) peer.Answer("0 0").Answer("0");
    peer.Answer("0").ReadFrame().Send(testsupport::Frame(std::string("x\0", 2), 7)).ExpectClose();
    peer.Start();
    comlux::ComluxClient client;
    client.SetPorts(testsupport::UnusedLoopbackPort(), peer.Port());
    std::vector<std::string> shown;
    bool connectedInHandler = true;
    int portSeenByAnotherThread = -1;
    client.SetMessageHandler([&](const std::string& text) {
        shown.push_back(text);
        connectedInHandler = client.IsConnected();
        std::thread other([&] { portSeenByAnotherThread = client.GetCommandPort(); });
        other.join();
    });
    ASSERT_TRUE(client.OpenConnection("127.0.0.1", false));
    std::string answer;
    {
        comluxtest::Watchdog watchdog(std::chrono::seconds(20), "a handler calling the client");
        EXPECT_FALSE(client.SendCommand("-GetSomething", answer));
    }
    EXPECT_EQ(client.GetServerName(), "Not Connected");  // a corrupt answer ends the connection
    EXPECT_TRUE(peer.Finish());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_THAT(shown[0], testing::EndsWith("Version #7"));
    EXPECT_FALSE(connectedInHandler);
    EXPECT_EQ(portSeenByAnotherThread, peer.Port());
}

// The second port request is refused after the first listener started: the failed OpenConnection
// leaves it listening, and CloseConnection must close it.
TEST(FacadeScriptedTest, CloseConnectionClosesTheListenersOfAFailedSetUp) {
    const int streamPort = testsupport::UnusedLoopbackPort();
    testsupport::ScriptedPeer peer;
    peer.Answer("G A").Answer("0 " + std::to_string(streamPort)).Answer("0").Answer("-1").ExpectClose();
    peer.Start();
    comlux::ComluxClient client;
    client.SetPorts(testsupport::UnusedLoopbackPort(), peer.Port());
    EXPECT_FALSE(client.OpenConnection("127.0.0.1", false));
    EXPECT_TRUE(testsupport::LoopbackConnection::Connect(streamPort).IsOpen());
    EXPECT_TRUE(client.CloseConnection());
    EXPECT_FALSE(testsupport::LoopbackConnection::Connect(streamPort).IsOpen());
    EXPECT_TRUE(peer.Finish());
}

TEST_F(FacadeTest, TimeoutSettersTakeOneMillisecondToADayAndKeepTheirValueOtherwise) {
    using std::chrono::milliseconds;
    for (auto set : {&comlux::ComluxClient::SetConnectTimeout, &comlux::ComluxClient::SetSendTimeout,
                     &comlux::ComluxClient::SetAnswerTimeout}) {
        EXPECT_FALSE((client.*set)(milliseconds(0)));
        EXPECT_FALSE((client.*set)(milliseconds(-5)));
        EXPECT_FALSE((client.*set)(std::chrono::hours(24) + milliseconds(1)));
        EXPECT_TRUE((client.*set)(std::chrono::hours(24)));
        EXPECT_TRUE((client.*set)(milliseconds(1)));
        EXPECT_TRUE((client.*set)(std::chrono::seconds(10)));
    }
    // A refused 0 left 10 s in place: the answer is waited for, not given up at once.
    EXPECT_FALSE(client.SetAnswerTimeout(milliseconds(0)));
    ASSERT_TRUE(client.OpenConnection("127.0.0.1", false));
    std::string answer;
    EXPECT_TRUE(client.SendCommand("-PostEvent \"stim\" 0 0", answer));
}

}  // namespace
