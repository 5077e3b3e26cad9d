// sequora-run when things go wrong, against the stand-in server on the fixed ports: a server
// that dies mid-run, Ctrl-C while a bit is on, while connecting to a server that never
// accepts and while an answer never comes, a second Ctrl-C, and the journal's times and seed.
#include <chrono>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "galdera/GalderaServer.h"
#include "tests/support/CfgText.h"
#include "tests/support/FixedPortsTest.h"
#include "tests/support/Loopback.h"
#include "tests/support/Patience.h"
#include "tests/support/TempDir.h"
#include "tests/support/ToolProcess.h"

namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::Not;
using ::testing::StartsWith;
using testsupport::CfgText;
using testsupport::ToolProcess;
using namespace std::chrono_literals;

// Ctrl-C is to be obeyed at once; this is "at once" with room for a busy machine, and far
// below the minutes a connect or the seconds an answer would otherwise take.
constexpr std::chrono::milliseconds kPromptExit{1500};

const std::string kConnectionFailed = "Connection Failed, Please check log file for details";
const std::string kLogClosed = "Log File Closed - End of File";

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> fields;
    std::istringstream in(text);
    for (std::string field; std::getline(in, field, separator);) fields.push_back(field);
    if (!text.empty() && text.back() == separator) fields.emplace_back();
    return fields;
}

// A listener on the hand-out port whose accept queue is full: new connections wait unanswered.
class FullAcceptQueue {
public:
    FullAcceptQueue() {
        // A backlog of 0 holds one connection that nobody accepts; later ones are left waiting.
        mReady = mListener.IsListening() && ::listen(mListener.Fd(), 0) == 0;
        mFiller = testsupport::LoopbackConnection::Connect(kHandoutPort);
        mReady = mReady && mFiller.IsOpen();
    }
    bool Ready() const { return mReady; }

private:
    static constexpr int kHandoutPort = 26200;
    testsupport::LoopbackListener mListener{kHandoutPort};
    testsupport::LoopbackConnection mFiller;
    bool mReady = false;
};

class RunIntegrityTest : public testsupport::FixedPortsTest {
protected:
    std::string WriteList(const std::vector<std::vector<std::string>>& items) {
        std::string cfg = dir.File("protocol.cfg");
        testsupport::WriteFile(cfg, CfgText(items));
        return cfg;
    }
    // The commands received after the connection procedure's last request, with their stamps.
    std::vector<galdera::ReceivedCommand> TrialCommands() const {
        const auto received = server->Received();
        for (std::size_t i = received.size(); i > 0; --i) {
            if (received[i - 1].text == "-RequestGalderaTypes")
                return std::vector<galdera::ReceivedCommand>(received.begin() + static_cast<long>(i),
                                                             received.end());
        }
        return {};
    }
    std::vector<std::string> TrialTexts() const {
        std::vector<std::string> texts;
        for (const auto& command : TrialCommands()) texts.push_back(command.text);
        return texts;
    }
    // Waits until `done` holds; false when it does not within the patience.
    template <typename Condition>
    bool AwaitThat(Condition done) {
        const auto until = std::chrono::steady_clock::now() + testsupport::kPatience;
        while (!done()) {
            if (std::chrono::steady_clock::now() > until) return false;
            std::this_thread::sleep_for(2ms);
        }
        return true;
    }
    // Signals the runner and waits for it to end promptly; the exit status, -1 when it did not.
    int InterruptAndWait(ToolProcess& run) {
        run.Signal(SIGINT);
        return run.Wait(kPromptExit);
    }

    // A continuous run whose latest command waits for an answer the server will not give.
    void StartARunWhoseAnswerNeverComes(std::optional<ToolProcess>& run) {
        StartServer();
        const std::string cfg = WriteList({{"-SendCommand \"-LogMessage tick 1\"", "-SetDelay 20"}});
        run.emplace("sequora-run", dir,
                    std::vector<std::string>{"--server", "127.0.0.1", "--continuous", "--log", logPath, cfg});
        ASSERT_TRUE(run->Started());
        ASSERT_TRUE(AwaitThat([&] { return TrialCommands().size() >= 2; }));
        server->SetFault(galdera::Fault::NoAnswer);
        const std::size_t before = TrialCommands().size();
        ASSERT_TRUE(AwaitThat([&] { return TrialCommands().size() > before; }));
    }

    // The trial commands whose text begins with `prefix`.
    std::vector<std::string> TrialTextsStartingWith(const std::string& prefix) const {
        std::vector<std::string> texts;
        for (const std::string& text : TrialTexts())
            if (text.starts_with(prefix)) texts.push_back(text);
        return texts;
    }
    // A list that sets bits 0 to `count` - 1 on, then waits a minute.
    std::string BitsOnList(int count) {
        std::vector<std::vector<std::string>> items;
        items.reserve(static_cast<std::size_t>(count));
        for (int bit = 0; bit < count; ++bit) items.push_back({"-SendTTLBit " + std::to_string(bit) + " On"});
        items.back().push_back("-SetDelay 60000");
        return WriteList(items);
    }

    testsupport::TempDir dir;
    const std::string logPath = dir.File("client log.txt");
};

// sequora-run inside a mount namespace of its own, its journal on a file system of 16 KiB.
// Exit status 77 from the shell: no such namespace can be made here.
constexpr int kNoNamespace = 77;
std::vector<std::string> OnATinyFileSystem(const std::string& folder, const std::vector<std::string>& args) {
    std::string command = "mount -t tmpfs -o size=16k none \"$0\" || exit 77; exec \"$@\"";
    std::vector<std::string> argv = {"-rm",   "sh",   "-c",
                                     command, folder, std::string(SEQUORA_BIN_DIR) + "/sequora-run"};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

TEST_F(RunIntegrityTest, AServerThatDiesMidRunEndsItWithStatusThreeAndTheMessage) {
    StartServer();
    const std::string cfg = WriteList({{"-SendCommand \"-LogMessage tick 1\"", "-SetDelay 20"}});
    ToolProcess run("sequora-run", dir, {"--server", "127.0.0.1", "--continuous", "--log", logPath, cfg});
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(AwaitThat([&] { return TrialCommands().size() >= 3; }));
    server.reset();
    EXPECT_EQ(run.Wait(), 3);
    const auto lines = run.ErrLines();
    ASSERT_FALSE(lines.empty());
    ASSERT_GE(lines.size(), 2u);
    EXPECT_THAT(lines.back(), StartsWith("# timing  lateness_ms median "));
    EXPECT_THAT(lines[lines.size() - 2],
                MatchesRegex("Run stopped: the connection to the server was lost \\(trial [0-9]+, "
                             "row 1, \"-LogMessage tick 1\"\\)\\."));
    EXPECT_THAT(lines, Not(Contains("Trials Completed")));
}

TEST_F(RunIntegrityTest, CtrlCDuringTheDelayOfABitThatIsOnResetsTheBit) {
    StartServer();
    const std::string cfg = WriteList({{"-SendTTLBit 3 On", "-SetDelay 60000"}});
    ToolProcess run("sequora-run", dir, {"--server", "127.0.0.1", "--log", logPath, cfg});
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(AwaitThat([&] { return !TrialCommands().empty(); }));
    EXPECT_EQ(InterruptAndWait(run), 0);
    EXPECT_THAT(TrialTexts(),
                ElementsAre("-SetDIOPortBits AcqSystem1 0 8", "-ResetDIOPortBits AcqSystem1 0 8"));
    EXPECT_THAT(run.ErrLines(), Not(Contains("Trials Completed")));
}

TEST_F(RunIntegrityTest, StopSendsEveryResetAndAwaitsEachSlowAnswer) {
    StartServer();
    ToolProcess run("sequora-run", dir, {"--server", "127.0.0.1", "--log", logPath, BitsOnList(8)});
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(AwaitThat([&] { return TrialCommands().size() == 8; }));
    server->SetFault(galdera::Fault::SlowAnswer);  // 300 ms for each answer from now on
    run.Signal(SIGINT);
    EXPECT_EQ(run.Wait(), 0);
    const auto resets = TrialTextsStartingWith("-ResetDIOPortBits");
    ASSERT_EQ(resets.size(), 8u);
    EXPECT_EQ(resets.front(), "-ResetDIOPortBits AcqSystem1 0 1");
    EXPECT_EQ(resets.back(), "-ResetDIOPortBits AcqSystem1 0 128");
    EXPECT_THAT(run.ErrLines(), Contains("Reset bits 0, 1, 2, 3, 4, 5, 6, 7."));
}

TEST_F(RunIntegrityTest, ASecondCtrlCDuringTheResetsAbandonsThemAndNamesTheBitsStillOn) {
    StartServer();
    ToolProcess run("sequora-run", dir, {"--server", "127.0.0.1", "--log", logPath, BitsOnList(8)});
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(AwaitThat([&] { return TrialCommands().size() == 8; }));
    server->SetFault(galdera::Fault::SlowAnswer);
    run.Signal(SIGINT);
    ASSERT_TRUE(AwaitThat([&] { return TrialCommands().size() == 9; }));  // the first reset is out
    EXPECT_EQ(InterruptAndWait(run), 130);
    EXPECT_THAT(run.ErrLines(), Contains("Bit 7 may still be on: its reset was abandoned."));
}

TEST_F(RunIntegrityTest, ABitWhoseResetCannotGoOutIsNamedAndTheStatusIsThree) {
    StartServer();
    ToolProcess run("sequora-run", dir, {"--server", "127.0.0.1", "--log", logPath, BitsOnList(1)});
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(AwaitThat([&] { return TrialCommands().size() == 1; }));
    server.reset();
    run.Signal(SIGINT);
    EXPECT_EQ(run.Wait(), 3);
    EXPECT_THAT(run.ErrLines(), Contains(MatchesRegex("Bit 0 may still be on: .+\\.")));
}

TEST_F(RunIntegrityTest, SighupActsAsStop) {
    StartServer();
    ToolProcess run("sequora-run", dir,
                    {"--server", "127.0.0.1", "--seed", "0", "--log", logPath, BitsOnList(1)});
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(AwaitThat([&] { return TrialCommands().size() == 1; }));
    run.Signal(SIGHUP);
    EXPECT_EQ(run.Wait(kPromptExit), 0);
    EXPECT_THAT(TrialTexts(),
                ElementsAre("-SetDIOPortBits AcqSystem1 0 1", "-ResetDIOPortBits AcqSystem1 0 1"));
    const auto lines = run.ErrLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front(), "seed 0");
    EXPECT_EQ(lines[lines.size() - 2], "Reset bit 0.");
    EXPECT_THAT(lines.back(), StartsWith("# timing  lateness_ms median "));
}

TEST_F(RunIntegrityTest, AJournalThatFillsItsDiskIsReportedAtOnceAndTheRunGoesOnToStatusFive) {
    StartServer();
    const std::string cfg = WriteList({{"-SendEventString \"tick\"", "-SetDelay 0"}});
    const std::string folder = dir.File("tiny");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    ToolProcess run("/usr/bin/unshare", dir,
                    OnATinyFileSystem(folder, {"--server", "127.0.0.1", "--trials", "400", "--journal",
                                               folder + "/journal.tsv", "--log", logPath, cfg}));
    ASSERT_TRUE(run.Started());
    const int status = run.Wait();
    if (status == kNoNamespace) GTEST_SKIP() << "no user and mount namespace here";
    EXPECT_EQ(status, 5);
    EXPECT_EQ(TrialTexts().size(), 400u) << "the run goes on without its journal";
    EXPECT_THAT(run.ErrLines(),
                Contains(MatchesRegex("Journal stopped at trial [0-9]+, row 1: No space left on device")));
}

TEST_F(RunIntegrityTest, CtrlCEndsARunPromptlyWhoseJournalReaderStalled) {
    StartServer();
    const std::string fifo = dir.File("journal.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // never reads
    ASSERT_GE(reader, 0);
    const std::string cfg = WriteList({{"-SendEventString \"tick\"", "-SetDelay 0"}});
    ToolProcess run("sequora-run", dir,
                    {"--server", "127.0.0.1", "--continuous", "--journal", fifo, "--log", logPath, cfg});
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(AwaitThat([&] { return TrialCommands().size() > 2000; }));  // the pipe is full by now
    run.Signal(SIGINT);
    EXPECT_EQ(run.Wait(std::chrono::seconds(2)), 5);
    ::close(reader);
}

TEST_F(RunIntegrityTest, AnObjectListOverTheAnswerLimitFailsTheConnectionBeforeAnyTrial) {
    galdera::ServerOptions options;
    // 17 MiB of object names: more than an answer may hold.
    for (int i = 0; i < 17 * 1024; ++i)
        options.objects.push_back({"object" + std::to_string(i) + std::string(1024, 'x'), "CscAcqEnt"});
    server = std::make_unique<galdera::GalderaServer>(options);
    ASSERT_TRUE(server->Start());
    ToolProcess run("sequora-run", dir, {"--server", "127.0.0.1", "--log", logPath, BitsOnList(1)});
    ASSERT_TRUE(run.Started());
    EXPECT_EQ(run.Wait(), 1);
    for (const auto& command : server->Received()) EXPECT_FALSE(command.text.starts_with("-SetDIOPortBits"));
}

TEST_F(RunIntegrityTest, CtrlCAbandonsAConnectionAttemptThatIsNeverAccepted) {
    const FullAcceptQueue queue;
    ASSERT_TRUE(queue.Ready());
    const std::string cfg = WriteList({{"-SetDelay 0"}});
    ToolProcess run("sequora-run", dir, {"--server", "127.0.0.1", "--log", logPath, cfg});
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(AwaitThat([&] {
        return testsupport::ReadFile(logPath).find("Attempting to establish a connection to our server.") !=
               std::string::npos;
    }));
    std::this_thread::sleep_for(100ms);  // well inside connect() by now
    EXPECT_EQ(InterruptAndWait(run), 1);
    EXPECT_THAT(run.ErrLines(), ElementsAre(kConnectionFailed));
    EXPECT_THAT(testsupport::ReadFile(logPath), HasSubstr(kLogClosed));
}

TEST_F(RunIntegrityTest, CtrlCWhileAnAnswerNeverComesEndsTheRunAsStoppedWithinASecond) {
    std::optional<ToolProcess> run;
    StartARunWhoseAnswerNeverComes(run);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(InterruptAndWait(*run), 0);
    EXPECT_THAT(run->ErrLines(), Not(Contains(MatchesRegex("Run stopped.*"))));
    EXPECT_THAT(testsupport::ReadFile(logPath), HasSubstr(kLogClosed));
}

TEST_F(RunIntegrityTest, ASecondCtrlCExitsAtOnceWith130AfterClosingTheLog) {
    std::optional<ToolProcess> run;
    StartARunWhoseAnswerNeverComes(run);
    ASSERT_FALSE(HasFatalFailure());
    run->Signal(SIGINT);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(InterruptAndWait(*run), 130);
    EXPECT_THAT(testsupport::ReadFile(logPath), HasSubstr(kLogClosed));
}

TEST_F(RunIntegrityTest, JournalTimesAgreeWithTheServersReceiveStamps) {
    StartServer();
    std::vector<std::vector<std::string>> items;
    items.reserve(10);
    for (int row = 0; row < 10; ++row)
        items.push_back({"-SendEventString \"e" + std::to_string(row) + "\"", "-SetDelay 15"});
    const std::string cfg = WriteList(items);
    const std::string journal = dir.File("journal.tsv");
    ToolProcess run("sequora-run", dir,
                    {"--server", "127.0.0.1", "--journal", journal, "--log", logPath, cfg});
    ASSERT_TRUE(run.Started());
    ASSERT_EQ(run.Wait(), 0);

    struct Sent {
        double sentMs, answeredMs;
    };
    std::vector<Sent> sends;
    for (const std::string& line : Split(testsupport::ReadFile(journal), '\n')) {
        const auto fields = Split(line, '\t');
        if (fields.size() == 8 && fields[2] == "event")
            sends.push_back({std::stod(fields[5]), std::stod(fields[6])});
    }
    const auto received = TrialCommands();
    ASSERT_EQ(sends.size(), 10u);
    ASSERT_EQ(received.size(), 10u);
    // The two clocks differ by an unknown offset: the smallest gap from a send to its receipt.
    double offset = 1e300;
    for (std::size_t i = 0; i < sends.size(); ++i)
        offset = std::min(offset, received[i].micros / 1000.0 - sends[i].sentMs);
    for (std::size_t i = 0; i < sends.size(); ++i) {
        const double atServer = received[i].micros / 1000.0 - offset;
        EXPECT_GE(atServer, sends[i].sentMs - 1.0) << i;
        EXPECT_LE(atServer, sends[i].answeredMs + 1.0) << i;
    }
}

TEST_F(RunIntegrityTest, TheSameSeedReplaysTheSameDelaysAndChoices) {
    StartServer();
    const std::string cfg = WriteList(
        {{"-SendCommand \"-LogMessage a 1|-LogMessage b 1|-LogMessage c 1\"", "-SetDelay Random: 1-9"},
         {"-SetDelay Random: 1-9"}});
    std::vector<std::vector<std::string>> texts;
    for (int run = 0; run < 2; ++run) {
        const std::string journal = dir.File("journal" + std::to_string(run) + ".tsv");
        ToolProcess process("sequora-run", dir,
                            {"--server", "127.0.0.1", "--trials", "4", "--seed", "777", "--journal", journal,
                             "--log", logPath, cfg});
        ASSERT_TRUE(process.Started());
        ASSERT_EQ(process.Wait(), 0);
        EXPECT_EQ(process.ErrLines().front(), "seed 777");
        std::vector<std::string> actions;
        for (const std::string& line : Split(testsupport::ReadFile(journal), '\n')) {
            const auto fields = Split(line, '\t');
            if (fields.size() == 8 && fields[0] != "trial") actions.push_back(fields[2] + " " + fields[3]);
        }
        EXPECT_THAT(Split(testsupport::ReadFile(journal), '\n')[1], HasSubstr("  seed 777  trials 4"));
        texts.push_back(actions);
    }
    ASSERT_EQ(texts[0].size(), 12u);
    EXPECT_EQ(texts[0], texts[1]);
}

}  // namespace
