// sequora-run as a user runs it: the executable against the stand-in server on the fixed
// ports 26200/26100, with its exit statuses, its messages and Ctrl-C.
#include <algorithm>
#include <chrono>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <signal.h>
#include <string>
#include <thread>
#include <vector>

#include "galdera/GalderaServer.h"
#include "tests/support/CfgText.h"
#include "tests/support/FixedPortsTest.h"
#include "tests/support/TempDir.h"
#include "tests/support/ToolProcess.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::Not;
using ::testing::StartsWith;
using testsupport::CfgText;
using testsupport::ToolProcess;
using namespace std::chrono_literals;

class SequoraRunTest : public testsupport::FixedPortsTest {
protected:
    // The commands received after the connection procedure's last request.
    std::vector<std::string> TrialCommands() const {
        std::vector<std::string> texts;
        for (const auto& command : server->Received()) texts.push_back(command.text);
        const auto last = std::find(texts.begin(), texts.end(), "-RequestGalderaTypes");
        if (last == texts.end()) return {};
        return std::vector<std::string>(last + 1, texts.end());
    }

    testsupport::TempDir dir;
};

TEST_F(SequoraRunTest, PlaysTheListAndTheServerReceivesExactlyItsCommands) {
    StartServer();
    const std::string cfg = dir.File("protocol.cfg");
    testsupport::WriteFile(
        cfg, CfgText({{"-SendEventString \"Tone on\"", "-SendTTLBit 3 On", "-SetDelay 5"},
                      {"-SendCommand \"-StartRecording\"", "-SetDelay 0"},
                      {"-SendEventString \"\"", "-SendTTLBit 3 Off", "-SetDelay Random: 2-4"}}));
    const std::string log = dir.File("client log.txt");
    ToolProcess run("sequora-run", dir, {"--server", "127.0.0.1", "--trials", "2", "--log", log, cfg});
    ASSERT_TRUE(run.Started());
    EXPECT_EQ(run.Wait(), 0);
    const auto lines = run.ErrLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_THAT(lines[0], MatchesRegex("seed [0-9]+"));
    EXPECT_THAT(lines[1], StartsWith("realtime: "));
    EXPECT_THAT(std::vector<std::string>(lines.begin() + 2, lines.end()),
                ElementsAre("trial 1/2", "trial 2/2", "Trials Completed",
                            StartsWith("# timing  lateness_ms median ")));

    const std::vector<std::string> trial = {" -PostEvent \"Tone on\" 0 0", "-SetDIOPortBits AcqSystem1 0 8",
                                            "-StartRecording", " -PostEvent \"\" 0 0",
                                            "-ResetDIOPortBits AcqSystem1 0 8"};
    std::vector<std::string> expected = trial;
    expected.insert(expected.end(), trial.begin(), trial.end());
    EXPECT_EQ(TrialCommands(), expected);

    std::vector<std::string> all;
    for (const auto& command : server->Received()) all.push_back(command.text);
    EXPECT_NE(std::find(all.begin(), all.end(), "-SetApplicationName \"Sequora\""), all.end());
    EXPECT_THAT(testsupport::ReadFile(log), HasSubstr("NetworkNodeClient"));
}

TEST_F(SequoraRunTest, NoServerEndsWithTheConnectionMessageAndStatusOne) {
    const std::string cfg = dir.File("protocol.cfg");
    testsupport::WriteFile(cfg, CfgText({{"-SendEventString \"x\"", "-SetDelay 0"}}));
    ToolProcess run("sequora-run", dir, {"--server", "127.0.0.1", "--log", dir.File("log.txt"), cfg});
    ASSERT_TRUE(run.Started());
    EXPECT_EQ(run.Wait(), 1);
    EXPECT_THAT(run.ErrLines(), ElementsAre("Connection Failed, Please check log file for details"));
}

TEST_F(SequoraRunTest, BadUsageAndUnreadableFilesEndWithStatusTwo) {
    const std::string cfg = dir.File("protocol.cfg");
    testsupport::WriteFile(cfg, CfgText({{"-SetDelay 0"}}));
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--trials", "2"},
        {"--trials", "two", cfg},
        {"--trials", "2", "--continuous", cfg},
        {"--server"},
        {"--bogus", cfg},
        {cfg, cfg},
        {"--list", "--trials", "3", cfg},
        {"--save", cfg},
        {dir.File("missing.cfg")},
        {dir.Path()},
        {"--journal", dir.File("no such folder/journal.tsv"), cfg},
        {"--seed", "-1", cfg},
    };
    for (const auto& args : bad) {
        ToolProcess run("sequora-run", dir, args);
        ASSERT_TRUE(run.Started());
        EXPECT_EQ(run.Wait(), 2) << ::testing::PrintToString(args);
        EXPECT_THAT(run.ErrLines(), Not(::testing::IsEmpty())) << ::testing::PrintToString(args);
    }
}

TEST_F(SequoraRunTest, ListPrintsOneLinePerRowWithoutConnecting) {
    const std::string cfg = dir.File("protocol.cfg");
    testsupport::WriteFile(cfg, CfgText({{"-SendEventString \"Tone on\"", "-SetDelay 5"}, {"-SetDelay 7"}}));
    ToolProcess run("sequora-run", dir, {"--list", cfg});
    ASSERT_TRUE(run.Started());
    EXPECT_EQ(run.Wait(), 0);
    const std::string out = run.Out();
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2);
    EXPECT_THAT(out, HasSubstr("\"Tone on\""));
}

TEST_F(SequoraRunTest, CtrlCStopsAContinuousRunWithoutCompletionMessage) {
    StartServer();
    const std::string cfg = dir.File("protocol.cfg");
    testsupport::WriteFile(cfg, CfgText({{"-SendCommand \"-LogMessage tick 1\"", "-SetDelay 20"}}));
    ToolProcess run("sequora-run", dir,
                    {"--server", "127.0.0.1", "--continuous", "--log", dir.File("log.txt"), cfg});
    ASSERT_TRUE(run.Started());
    for (int i = 0; i < 2000 && TrialCommands().size() < 3; ++i) std::this_thread::sleep_for(10ms);
    ASSERT_GE(TrialCommands().size(), 3u);
    run.Signal(SIGINT);
    EXPECT_EQ(run.Wait(), 0);
    for (const std::string& text : TrialCommands()) EXPECT_EQ(text, "-LogMessage tick 1");
    EXPECT_THAT(run.ErrLines(), Not(::testing::Contains("Trials Completed")));
}

}  // namespace
