// comlux-record as a user runs it: the executable against the stand-in server on the fixed ports
// 26200/26100, ended by --seconds or by Ctrl-C, and refusing what it cannot do.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <signal.h>
#include <string>
#include <thread>
#include <vector>

#include "galdera/GalderaServer.h"
#include "tests/app/cli/record/RecordLineCheck.h"
#include "tests/support/FixedPortsTest.h"
#include "tests/support/FullAcceptQueue.h"
#include "tests/support/TempDir.h"
#include "tests/support/ToolProcess.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

using testsupport::ToolProcess;

class ComluxRecordTest : public testsupport::FixedPortsTest {
protected:
    std::vector<std::string> Commands(const std::string& prefix) const {
        std::vector<std::string> texts;
        for (const auto& command : server->Received()) {
            if (command.text.rfind(prefix, 0) == 0) texts.push_back(command.text);
        }
        return texts;
    }

    // Checks every line of a finished recording of `objects` and the counts on stderr.
    void ExpectSoundRecording(const ToolProcess& recorder, const std::vector<std::string>& objects) {
        bool whole = false;
        const auto lines = recordcheck::Lines(recorder.Out(), &whole);
        EXPECT_TRUE(whole) << "the last line is cut";
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.front() + "\n", sequora::record::HeaderLine());
        const auto expected = recordcheck::DefaultObjects();
        std::map<std::string, int> seen;
        for (std::size_t i = 1; i < lines.size(); ++i) {
            ASSERT_EQ(recordcheck::Problem(lines[i], expected), "")
                << "line " << i + 1 << ": " << lines[i].substr(0, 200);
            ++seen[recordcheck::SplitCells(lines[i]).at(1)];
        }
        std::vector<std::string> counts;
        for (const std::string& object : objects) {
            EXPECT_GT(seen[object], 0) << object;
            counts.push_back(object + "\t" + std::to_string(seen[object]));
        }
        EXPECT_EQ(seen.size(), objects.size());
        EXPECT_EQ(recorder.ErrLines(), counts);
    }

    testsupport::TempDir dir;
};

TEST_F(ComluxRecordTest, SecondsEndsARecordingOfASpikeAndAChannelStreamCleanly) {
    StartServer();
    const std::string log = dir.File("client log.txt");
    ToolProcess recorder("comlux-record", dir,
                         {"--server", "127.0.0.1", "--seconds", "1", "--log", log, "TT1", "CSC2"});
    ASSERT_TRUE(recorder.Started());
    EXPECT_EQ(recorder.Wait(), 0);
    ExpectSoundRecording(recorder, {"TT1", "CSC2"});
    EXPECT_THAT(Commands("-OpenStream"),
                ElementsAre("-OpenStream TT1 TTScAcqEnt", "-OpenStream CSC2 CscAcqEnt"));
    EXPECT_THAT(Commands("-CloseStream"),
                ElementsAre("-CloseStream TT1 TTScAcqEnt", "-CloseStream CSC2 CscAcqEnt"));
    EXPECT_THAT(testsupport::ReadFile(log), HasSubstr("NetworkNodeClient"));
}

TEST_F(ComluxRecordTest, CtrlCEndsARecordingOfAnEventAndAVideoStreamCleanly) {
    StartServer();
    ToolProcess recorder("comlux-record", dir, {"--server", "127.0.0.1", "--out", "-", "Events", "VT1"});
    ASSERT_TRUE(recorder.Started());
    // The output is buffered: once some has reached the file, records of both are flowing.
    ASSERT_TRUE(recorder.WaitForOutput(4096)) << "no records arrived";
    recorder.Signal(SIGINT);
    EXPECT_EQ(recorder.Wait(), 0);
    ExpectSoundRecording(recorder, {"Events", "VT1"});
    EXPECT_THAT(Commands("-CloseStream"),
                ElementsAre("-CloseStream Events EventAcqEnt", "-CloseStream VT1 VTAcqEnt"));
}

TEST_F(ComluxRecordTest, WhatCannotBeRecordedEndsWithItsStatusAndMessage) {
    StartServer();
    const std::string existing = dir.File("earlier.tsv");
    testsupport::WriteFile(existing, "kept");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {{"--server", "127.0.0.1"}, 2, "comlux-record: OBJECT is required"},
        {{"--seconds", "0", "CSC1"}, 2, "comlux-record: --seconds needs a number of seconds above 0"},
        {{"--out", dir.File("no such folder/out.tsv"), "CSC1"},
         2,
         "comlux-record: cannot write " + dir.File("no such folder/out.tsv")},
        {{"--server", "127.0.0.1", "--seconds", "5", "CSC1", "CSC 1"},
         3,
         "comlux-record: the server has no object CSC 1"},
        {{"--out", existing, "CSC1"},
         2,
         "comlux-record: " + existing + " already exists; --out never replaces a file"},
        // The header cannot be written: the recording ends before any stream is opened.
        {{"--server", "127.0.0.1", "--seconds", "5", "--out", "/dev/full", "CSC1"},
         2,
         "comlux-record: writing the records to /dev/full failed after 0 records (No space left on device)"},
    };
    for (const Case& c : cases) {
        ToolProcess recorder("comlux-record", dir, c.args);
        ASSERT_TRUE(recorder.Started());
        EXPECT_EQ(recorder.Wait(), c.status) << c.message;
        EXPECT_THAT(recorder.ErrLines(), ::testing::Contains(c.message));
    }
    EXPECT_THAT(Commands("-OpenStream"), ::testing::IsEmpty());
    EXPECT_EQ(testsupport::ReadFile(existing), "kept");
}

TEST_F(ComluxRecordTest, SigHupAbandonsAConnectionAttemptThatHangsWithinASecondAndPrintsTheCounts) {
    testsupport::FullAcceptQueue blackHole(26200);
    ASSERT_TRUE(blackHole.Ready());
    ToolProcess recorder("comlux-record", dir, {"--server", "127.0.0.1", "CSC1"});
    ASSERT_TRUE(recorder.Started());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    recorder.Signal(SIGHUP);
    EXPECT_EQ(recorder.Wait(std::chrono::milliseconds(1500)), 1);
    EXPECT_THAT(recorder.ErrLines(), ElementsAre("comlux-record: stopped before recording began", "CSC1\t0"));
}

}  // namespace
