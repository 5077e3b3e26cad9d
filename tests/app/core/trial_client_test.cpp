// The trial runner driving the real client against the in-process stand-in server:
// what reaches the server, byte for byte, and a run without any connection.
#include <condition_variable>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>

#include "app/core/ComluxCommandSender.h"
#include "app/core/ItemList.h"
#include "app/core/SteadyRunClock.h"
#include "app/core/TrialRunner.h"
#include "comlux/ComluxClient.h"
#include "galdera/GalderaServer.h"
#include "tests/support/StandIn.h"
#include "tests/support/TempDir.h"

namespace {

using ::testing::ElementsAre;

class WaitingObserver : public sequora::RunObserver {
public:
    void ShowMessage(const std::string& text) override {
        std::lock_guard guard(mLock);
        mMessages.push_back(text);
    }
    void ControlsChanged() override {}
    std::vector<std::string> Messages() {
        std::lock_guard guard(mLock);
        return mMessages;
    }

private:
    std::mutex mLock;
    std::vector<std::string> mMessages;
};

class TrialClientTest : public ::testing::Test {
protected:
    void SetUp() override { client.OpenLogFile(dir.File("log.txt")); }
    // The stand-in server on ports of the system's choosing, where the client will look.
    void StartServer() {
        server = testsupport::StartStandIn();
        ASSERT_NE(server, nullptr);
        client.SetPorts(server->HandoutPort(), server->CommandPort());
    }

    testsupport::TempDir dir;
    comlux::ComluxClient client;
    sequora::ComluxCommandSender sender{client};
    sequora::SteadyRunClock clock;
    WaitingObserver observer;
    sequora::ItemList items;
    std::unique_ptr<galdera::GalderaServer> server;
};

TEST_F(TrialClientTest, ServerReceivesTheRowsCommandsExactlyAndInOrder) {
    StartServer();
    ASSERT_TRUE(client.OpenConnection("127.0.0.1", true));
    const std::size_t before = server->Received().size();

    items.AddItemRow({"Yes", "Tone \"A\" on", "Yes", "31", "On", "Yes", "-StartRecording", "1"});
    items.AddItemRow({"Yes", "", "Yes", "4", "Off", "No", "NA", "0"});
    {
        sequora::TrialRunner runner(items, sender, observer, clock);
        runner.SetTrialCount(2);
        ASSERT_TRUE(runner.Start());
        runner.WaitForWorkers();
    }
    std::vector<std::string> texts;
    for (const auto& command : server->Received()) texts.push_back(command.text);
    texts.erase(texts.begin(), texts.begin() + static_cast<long>(before));
    const std::vector<std::string> trial = {" -PostEvent \"Tone \"A\" on\" 0 0",
                                            "-SetDIOPortBits AcqSystem1 0 -2147483648", "-StartRecording",
                                            " -PostEvent \"\" 0 0", "-ResetDIOPortBits AcqSystem1 0 16"};
    std::vector<std::string> expected = trial;
    expected.insert(expected.end(), trial.begin(), trial.end());
    EXPECT_EQ(texts, expected);
    EXPECT_THAT(observer.Messages(), ElementsAre("Trials Completed"));
    client.CloseConnection();
}

TEST_F(TrialClientTest, ARunWithoutConnectionStopsAtItsFirstCommand) {
    items.AddItemRow({"Yes", "A", "Yes", "1", "On", "Yes", "-StopRecording", "2"});
    sequora::TrialRunner runner(items, sender, observer, clock);
    runner.SetTrialCount(3);
    ASSERT_TRUE(runner.Start());
    runner.WaitForWorkers();
    EXPECT_THAT(observer.Messages(),
                ElementsAre("Run stopped: there is no connection to the server (trial 1, row 1, "
                            "\" -PostEvent \"A\" 0 0\")."));
    EXPECT_FALSE(runner.Running());
}

TEST_F(TrialClientTest, TheSenderTellsWhyACommandFailed) {
    std::string answer;
    EXPECT_FALSE(sender.Connected());
    EXPECT_FALSE(sender.SendCommand("-StartRecording", answer));
    EXPECT_EQ(sender.LastFailure(), sequora::SendFailure::NotConnected);

    StartServer();

    ASSERT_TRUE(client.OpenConnection("127.0.0.1", true));
    EXPECT_TRUE(sender.Connected());
    server->SetFault(galdera::Fault::CloseInsteadOfAnswer, 1);
    EXPECT_FALSE(sender.SendCommand("-StartRecording", answer));
    EXPECT_EQ(sender.LastFailure(), sequora::SendFailure::ConnectionLost);
    EXPECT_FALSE(sender.Connected());

    ASSERT_TRUE(client.OpenConnection("127.0.0.1", true));
    server->SetFault(galdera::Fault::BadValidation, 1);
    EXPECT_FALSE(sender.SendCommand("-StartRecording", answer));
    // A corrupt answer leaves the connection up or gives it up; either way the reason says which.
    EXPECT_EQ(sender.LastFailure(), client.IsConnected() ? sequora::SendFailure::AnswerUnreadable
                                                         : sequora::SendFailure::ConnectionLost);
    client.CloseConnection();
}

TEST_F(TrialClientTest, AServerLostMidRunEndsItWithTheConnectionLostAndNoFurtherCommands) {
    StartServer();
    ASSERT_TRUE(client.OpenConnection("127.0.0.1", true));

    items.AddItemRow({"No", "NA", "Yes", "3", "On", "No", "NA", "0"});
    items.AddItemRow({"No", "NA", "No", "NA", "NA", "Yes", "-LogMessage tick 1", "1"});
    sequora::TrialRunner runner(items, sender, observer, clock);
    runner.SetRunContinuously(true);
    ASSERT_TRUE(runner.Start());
    const std::size_t before = server->Received().size();
    ASSERT_TRUE(server->WaitForCommands(before + 6, std::chrono::seconds(10)));
    server->SetFault(galdera::Fault::CloseInsteadOfAnswer);
    runner.WaitForWorkers();
    const auto messages = observer.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_THAT(messages[0],
                ::testing::StartsWith("Run stopped: the connection to the server was lost (trial "));
    EXPECT_FALSE(client.IsConnected()) << "so no reset could be sent";
}

}  // namespace
