// comlux-record as a user runs it: the executable against the stand-in server on the fixed ports
// 26200/26100, ended by --seconds or by Ctrl-C, and refusing what it cannot do.
#include <chrono>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "galdera/GalderaServer.h"
#include "tests/app/cli/record/RecordLineCheck.h"
#include "tests/support/FixedPorts.h"
#include "tests/support/Patience.h"
#include "tests/support/TempDir.h"

extern char** environ;

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using namespace std::chrono_literals;

const std::string kRecorder = std::string(SEQUORA_BIN_DIR) + "/comlux-record";

// A started comlux-record whose stdout and stderr go to files.
class RecorderProcess {
public:
    RecorderProcess(const testsupport::TempDir& dir, const std::vector<std::string>& args)
        : mOutPath(dir.File("out.tsv")), mErrPath(dir.File("err.txt")) {
        std::vector<std::string> argv{kRecorder};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> pointers;
        for (std::string& arg : argv) pointers.push_back(arg.data());
        pointers.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, mOutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, mErrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&mPid, kRecorder.c_str(), &actions, nullptr, pointers.data(), environ) != 0)
            mPid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~RecorderProcess() {
        if (mPid > 0 && !mReaped) {
            kill(mPid, SIGKILL);
            waitpid(mPid, nullptr, 0);
        }
    }

    bool Started() const { return mPid > 0; }
    void Signal(int signal) const { kill(mPid, signal); }
    // The exit status, or -1 when the process did not end within the patience (it is killed).
    int Wait() {
        const auto deadline = std::chrono::steady_clock::now() + testsupport::kPatience;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(mPid, &status, WNOHANG) == mPid) {
                mReaped = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(10ms);
        }
        return -1;
    }
    std::string Out() const { return testsupport::ReadFile(mOutPath); }
    std::vector<std::string> ErrLines() const { return recordcheck::Lines(testsupport::ReadFile(mErrPath)); }
    // Waits until the output file has at least `bytes` in it.
    bool WaitForOutput(std::size_t bytes) const {
        const auto deadline = std::chrono::steady_clock::now() + testsupport::kPatience;
        struct stat status {};
        while (std::chrono::steady_clock::now() < deadline) {
            if (stat(mOutPath.c_str(), &status) == 0 && static_cast<std::size_t>(status.st_size) >= bytes)
                return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

private:
    std::string mOutPath, mErrPath;
    pid_t mPid = -1;
    bool mReaped = false;
};

class ComluxRecordTest : public ::testing::Test {
protected:
    void SetUp() override { SKIP_WHEN_FIXED_PORTS_ARE_BUSY(); }
    void StartServer() {
        server = std::make_unique<galdera::GalderaServer>(galdera::ServerOptions{});
        ASSERT_TRUE(server->Start()) << "ports 26200/26100 are in use";
    }
    std::vector<std::string> Commands(const std::string& prefix) const {
        std::vector<std::string> texts;
        for (const auto& command : server->Received()) {
            if (command.text.rfind(prefix, 0) == 0) texts.push_back(command.text);
        }
        return texts;
    }

    // Checks every line of a finished recording of `objects` and the counts on stderr.
    void ExpectSoundRecording(const RecorderProcess& recorder, const std::vector<std::string>& objects) {
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
    std::unique_ptr<galdera::GalderaServer> server;
};

TEST_F(ComluxRecordTest, SecondsEndsARecordingOfASpikeAndAChannelStreamCleanly) {
    StartServer();
    const std::string log = dir.File("client log.txt");
    RecorderProcess recorder(dir, {"--server", "127.0.0.1", "--seconds", "1", "--log", log, "TT1", "CSC2"});
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
    RecorderProcess recorder(dir, {"--server", "127.0.0.1", "Events", "VT1"});
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
    };
    for (const Case& c : cases) {
        RecorderProcess recorder(dir, c.args);
        ASSERT_TRUE(recorder.Started());
        EXPECT_EQ(recorder.Wait(), c.status) << c.message;
        const auto lines = recorder.ErrLines();
        ASSERT_FALSE(lines.empty()) << c.message;
        EXPECT_EQ(lines.front(), c.message);
    }
    EXPECT_THAT(Commands("-OpenStream"), ::testing::IsEmpty());
}

}  // namespace
