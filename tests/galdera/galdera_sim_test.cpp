#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <regex>
#include <signal.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "galdera/ObjectsFile.h"
#include "galdera/SimCommandLine.h"
#include "tests/galdera/RawPeer.h"
#include "tests/support/TempDir.h"

using namespace std::chrono_literals;
using galdera::ServerObject;

namespace {

std::vector<ServerObject> Read(const std::string& text, std::string& error) {
    std::istringstream in(text);
    std::vector<ServerObject> objects{{"untouched", "on failure"}};
    if (!galdera::ReadObjects(in, objects, error)) return objects;
    error.clear();
    return objects;
}

TEST(ObjectsFile, ReadsQuotedNamesAndSkipsCommentsAndBlankLines) {
    std::string error;
    const auto objects = Read(
        "# lab rig 2\r\n\r\nSE1 SEScAcqEnt\r\n  \"Cheetah CSC\"\tCscAcqEnt  \n"
        "   # indented comment\nVT1 VTAcqEnt",
        error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(objects, (std::vector<ServerObject>{
                           {"SE1", "SEScAcqEnt"}, {"Cheetah CSC", "CscAcqEnt"}, {"VT1", "VTAcqEnt"}}));
}

TEST(ObjectsFile, MalformedLinesAreRefusedWithTheirLineNumber) {
    const std::pair<const char*, const char*> cases[] = {
        {"SE1 SEScAcqEnt\n\"SE 2 SEScAcqEnt\n", "line 2: missing closing double quote"},
        {"SE1\n", "line 1: missing data type after the name"},
        {"SE1 SEScAcqEnt extra\n", "line 1: more than a name and a data type"},
        {"\"\" SEScAcqEnt\n", "line 1: empty object name"},
        {"\"SE 2\"SEScAcqEnt\n", "line 1: a blank must follow the quoted name"},
    };
    for (const auto& [text, message] : cases) {
        std::string error;
        const auto objects = Read(text, error);
        EXPECT_EQ(error, message) << text;
        EXPECT_EQ(objects, (std::vector<ServerObject>{{"untouched", "on failure"}})) << text;
    }
}

TEST(SimCommandLine, ParsesEveryOptionAndRefusesBadValues) {
    galdera::SimCommandLine line;
    std::string error;
    ASSERT_TRUE(galdera::ParseCommandLine(
        {"--bind", "127.0.0.2", "--handout-port", "0", "--command-port", "4100", "--rate", "12.5", "--quiet"},
        line, error))
        << error;
    EXPECT_EQ(line.options.bindAddress, "127.0.0.2");
    EXPECT_EQ(line.options.handoutPort, 0);
    EXPECT_EQ(line.options.commandPort, 4100);
    EXPECT_DOUBLE_EQ(line.options.recordsPerSecond, 12.5);
    EXPECT_TRUE(line.quiet);

    const std::vector<std::vector<std::string>> bad = {
        {"--port", "1"},
        {"--rate"},
        {"--rate", "-1"},
        {"--rate", "nan"},
        {"--handout-port", "65536"},
        {"--command-port", "12x"},
        {"--bind", "localhost"},
        {"--handout-port", "4000", "--command-port", "4000"},
        {"--objects", "/nonexistent/objects.txt"},
    };
    for (const auto& arguments : bad) {
        galdera::SimCommandLine refused;
        std::string message;
        EXPECT_FALSE(galdera::ParseCommandLine(arguments, refused, message)) << arguments[0];
        EXPECT_FALSE(message.empty()) << arguments[0];
    }
}

/// galdera-sim run as a child process with its stdout and stderr on pipes.
class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& arguments) {
        int out[2];
        int err[2];
        if (pipe(out) != 0 || pipe(err) != 0) return;
        mPid = fork();
        if (mPid == 0) {
            dup2(out[1], 1);
            dup2(err[1], 2);
            close(out[0]);
            close(err[0]);
            std::vector<std::string> all{SEQUORA_BIN_DIR "/galdera-sim"};
            all.insert(all.end(), arguments.begin(), arguments.end());
            std::vector<char*> argv;
            for (std::string& argument : all) argv.push_back(argument.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        mOut = out[0];
        mErr = err[0];
    }
    ~SimProcess() {
        if (mPid > 0 && mStatus < 0) {
            kill(mPid, SIGKILL);
            Wait();
        }
        close(mOut);
        close(mErr);
    }

    /// The exit status (-1 if it did not exit normally).
    int Wait() {
        int status = 0;
        waitpid(mPid, &status, 0);
        mStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 1000;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void Signal(int signal) { kill(mPid, signal); }
    /// One line from stdout or stderr (without '\n'); empty when none came within 10 s.
    std::string Line(bool fromStderr) {
        const int fd = fromStderr ? mErr : mOut;
        std::string line;
        char c = 0;
        for (;;) {
            pollfd watch{fd, POLLIN, 0};
            if (poll(&watch, 1, 10000) != 1 || read(fd, &c, 1) != 1 || c == '\n') return line;
            line += c;
        }
    }
    /// Everything left on stdout or stderr (call after Wait()).
    std::string Rest(bool fromStderr) {
        std::string text;
        char buffer[512];
        ssize_t n = 0;
        while ((n = read(fromStderr ? mErr : mOut, buffer, sizeof buffer)) > 0)
            text.append(buffer, std::size_t(n));
        return text;
    }

private:
    pid_t mPid = -1;
    int mOut = -1;
    int mErr = -1;
    int mStatus = -1;
};

TEST(GalderaSim, BadUsageAndUnreadableObjectsExitWithTwoAndAMessage) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir.File("broken.txt"), "SE1\n");
    const std::vector<std::vector<std::string>> runs = {{"--no-such-flag"},
                                                        {"--rate", "fast"},
                                                        {"--objects", dir.File("missing.txt")},
                                                        {"--objects", dir.File("broken.txt")}};
    for (const auto& arguments : runs) {
        SimProcess sim(arguments);
        EXPECT_EQ(sim.Wait(), 2) << arguments[0];
        EXPECT_NE(sim.Rest(true).find("galdera-sim: "), std::string::npos) << arguments[0];
        EXPECT_EQ(sim.Rest(false), "");
    }
}

TEST(GalderaSim, PortInUseExitsWithOne) {
    galdera_test::Listener taken;
    SimProcess sim({"--handout-port", "0", "--command-port", std::to_string(taken.Port())});
    EXPECT_EQ(sim.Wait(), 1);
}

/// Starts galdera-sim on free ports and returns its command port, read from its start-up line.
int StartedCommandPort(SimProcess& sim) {
    const std::string started = sim.Line(true);
    std::smatch match;
    if (!std::regex_search(started, match, std::regex("command port ([0-9]+)"))) return 0;
    return std::stoi(match[1]);
}

TEST(GalderaSim, PrintsEachCommandAndStopsCleanlyOnSigterm) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir.File("objects.txt"),
                           "# two objects\n\"Left ear\" CscAcqEnt\nTone EventAcqEnt\n");
    SimProcess sim({"--handout-port", "0", "--command-port", "0", "--objects", dir.File("objects.txt")});
    const int port = StartedCommandPort(sim);
    ASSERT_GT(port, 0);
    galdera_test::Peer client;
    ASSERT_TRUE(client.Connect(port));
    EXPECT_EQ(client.Command("-RequestGalderaObjects"), "0 \"Left ear\" Tone");
    EXPECT_TRUE(std::regex_match(sim.Line(false), std::regex("[0-9]+ 1 -RequestGalderaObjects")));
    EXPECT_EQ(client.Command(" -PostEvent \"Tone on\" 0 0"), "0");
    EXPECT_TRUE(std::regex_match(sim.Line(false), std::regex("[0-9]+ 1  -PostEvent \"Tone on\" 0 0")));
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_TRUE(client.ClosedByPeer());
}

TEST(GalderaSim, QuietPrintsNothingPerCommandAndStopsOnSigint) {
    SimProcess sim({"--handout-port", "0", "--command-port", "0", "--quiet"});
    const int port = StartedCommandPort(sim);
    ASSERT_GT(port, 0);
    galdera_test::Peer client;
    ASSERT_TRUE(client.Connect(port));
    EXPECT_EQ(client.Command("-StartAcquisition"), "0");
    sim.Signal(SIGINT);
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_EQ(sim.Rest(false), "");
}

}  // namespace
