#include <algorithm>
#include <atomic>
#include <deque>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <regex>
#include <signal.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "comlux/ComluxClient.h"
#include "galdera/ObjectsFile.h"
#include "galdera/SimCommandLine.h"
#include "tests/galdera/RawPeer.h"
#include "tests/support/Loopback.h"
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

TEST(SimCommandLine, ParsesEveryOptionAndKeepsTheLastOfARepeatedOne) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir.File("objects.txt"), "Tone EventAcqEnt\n");
    const auto parsed = galdera::ParseCommandLine(
        {"--bind", "127.0.0.2", "--handout-port", "0", "--command-port", "4100", "--rate", "12.5",
         "--rate=20", "--objects", dir.File("objects.txt"), "--quiet", "--idle-timeout", "2.5"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    const galdera::SimCommandLine& line = parsed.commandLine;
    EXPECT_EQ(line.options.bindAddress, "127.0.0.2");
    EXPECT_EQ(line.options.handoutPort, 0);
    EXPECT_EQ(line.options.commandPort, 4100);
    EXPECT_DOUBLE_EQ(line.options.recordsPerSecond, 20);
    EXPECT_EQ(line.options.idleTimeout, std::chrono::milliseconds(2500));
    EXPECT_EQ(line.options.objects, (std::vector<ServerObject>{{"Tone", "EventAcqEnt"}}));
    EXPECT_TRUE(line.quiet);
    EXPECT_FALSE(line.help);
}

TEST(SimCommandLine, NothingGivenMeansTheServerDefaults) {
    const auto parsed = galdera::ParseCommandLine({});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    const galdera::ServerOptions defaults;
    EXPECT_EQ(parsed.commandLine.options.bindAddress, defaults.bindAddress);
    EXPECT_EQ(parsed.commandLine.options.handoutPort, 26200);
    EXPECT_EQ(parsed.commandLine.options.commandPort, 26100);
    EXPECT_DOUBLE_EQ(parsed.commandLine.options.recordsPerSecond, defaults.recordsPerSecond);
    EXPECT_EQ(parsed.commandLine.options.objects, galdera::DefaultObjects());
    EXPECT_FALSE(parsed.commandLine.quiet);
    EXPECT_EQ(parsed.commandLine.options.idleTimeout, std::chrono::seconds(30));
}

TEST(SimCommandLine, BadUsageIsRefusedWithAMessageNamingTheFault) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--port", "1"}, "unknown option --port"},
        {{"26200"}, "unknown option 26200"},
        {{"-q"}, "unknown option -q"},
        {{"--rate"}, "--rate: 1 required RECORDS_PER_S missing"},
        {{"--rate", "-1"}, "--rate needs a number of records per second (0 or more), not -1"},
        {{"--rate", "nan"}, "--rate needs a number of records per second (0 or more), not nan"},
        {{"--rate", "--quiet"}, "--rate needs a number of records per second (0 or more), not --quiet"},
        {{"--handout-port", "65536"}, "--handout-port needs a port number from 0 to 65535, not 65536"},
        {{"--command-port", "12x"}, "--command-port needs a port number from 0 to 65535, not 12x"},
        {{"--command-port", ""}, "--command-port needs a port number from 0 to 65535, not "},
        {{"--bind", "localhost"}, "--bind needs an IPv4 address, not localhost"},
        {{"--idle-timeout", "0"}, "--idle-timeout needs a number of seconds from 0.001 to 86400, not 0"},
        {{"--handout-port", "4000", "--command-port", "4000"},
         "the hand-out port and the command port must differ"},
    };
    for (const auto& [arguments, message] : cases) {
        const auto parsed = galdera::ParseCommandLine(arguments);
        EXPECT_FALSE(parsed.ok) << arguments[0];
        EXPECT_EQ(parsed.error, message) << arguments[0];
    }
}

TEST(SimCommandLine, UnreadableOrEmptyObjectsFileNameIsRefused) {
    for (const std::string path : {"/nonexistent/objects.txt", ""}) {
        const auto parsed = galdera::ParseCommandLine({"--objects", path});
        EXPECT_FALSE(parsed.ok) << path;
        EXPECT_FALSE(parsed.error.empty()) << path;
    }
}

TEST(SimCommandLine, HelpWinsOverEverythingElse) {
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"--help"},
                                                      {"-h"},
                                                      {"--rate", "fast", "--help"},
                                                      {"--no-such-flag", "-h"}}) {
        const auto parsed = galdera::ParseCommandLine(arguments);
        EXPECT_TRUE(parsed.ok) << arguments[0];
        EXPECT_TRUE(parsed.commandLine.help) << arguments[0];
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
            argv.reserve(all.size() + 1);
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
        const std::string errors = sim.Rest(true);
        EXPECT_EQ(errors.rfind("galdera-sim: ", 0), 0u) << arguments[0];
        // The message line comes first, then the help text to put it right.
        EXPECT_EQ(errors.substr(errors.find('\n') + 1), galdera::HelpText()) << arguments[0];
        EXPECT_EQ(sim.Rest(false), "");
    }
}

TEST(GalderaSim, HelpListsEveryOptionOnStdoutAndExitsWithZero) {
    SimProcess sim({"--help"});
    EXPECT_EQ(sim.Wait(), 0);
    const std::string help = sim.Rest(false);
    for (const char* option : {"--bind ADDR", "--handout-port PORT", "--command-port PORT", "--objects FILE",
                               "--rate RECORDS_PER_S", "--idle-timeout S", "--quiet", "--help"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
    EXPECT_NE(help.find("=26200"), std::string::npos) << "defaults are shown";
    EXPECT_EQ(sim.Rest(true), "");
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

// Under the usual limit of 1,024 descriptors (which the server inherits from this test), 2,000
// connections that never send a thing neither crash the server nor keep a normal client out for
// longer than the idle time.
TEST(GalderaSim, ANormalClientGetsInWhileTwoThousandIdleConnectionsAreAttempted) {
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    limit.rlim_cur = std::min<rlim_t>(1024, limit.rlim_max);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
    SimProcess sim({"--handout-port", "0", "--command-port", "0", "--quiet", "--idle-timeout", "1"});
    const std::string started = sim.Line(true);
    std::smatch ports;
    ASSERT_TRUE(
        std::regex_search(started, ports, std::regex("hand-out port ([0-9]+), command port ([0-9]+)")));
    const int handoutPort = std::stoi(ports[1]);
    const int commandPort = std::stoi(ports[2]);

    // At most 700 held at once, so that this process stays within its own limit.
    std::deque<testsupport::LoopbackConnection> idle;
    for (int i = 0; i < 2000; ++i) {
        if (idle.size() == 700) idle.pop_front();
        idle.push_back(testsupport::LoopbackConnection::Connect(i % 2 == 0 ? commandPort : handoutPort));
    }
    EXPECT_THAT(sim.Line(true), testing::StartsWith("galdera-sim: closed a new connection at once: 256 "
                                                    "connections are open already"));
    // The 700 idle ones are still held: the server closes them after its idle time.
    bool connected = false;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!connected && std::chrono::steady_clock::now() < deadline) {
        comlux::ComluxClient client;
        client.SetPorts(handoutPort, commandPort);
        std::vector<std::string> objects, types;
        connected = client.OpenConnection("127.0.0.1", true) && client.GetObjectsAndTypes(objects, types) &&
                    !objects.empty();
        if (!connected) std::this_thread::sleep_for(100ms);
    }
    EXPECT_TRUE(connected) << "a normal client could not connect";
    idle.clear();
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
}

}  // namespace
