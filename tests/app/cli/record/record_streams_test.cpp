// comlux-record's work from connecting to the counts, against the in-process stand-in server on
// free loopback ports: what it sends, what it writes, and how it refuses what it cannot record.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "app/cli/record/ComluxRecord.h"
#include "app/cli/record/FdOutput.h"
#include "comlux/ComluxClient.h"
#include "galdera/GalderaServer.h"
#include "tests/app/cli/record/RecordLineCheck.h"
#include "tests/support/FullAcceptQueue.h"
#include "tests/support/Patience.h"
#include "tests/support/ScriptedPeer.h"
#include "tests/support/StandIn.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace std::chrono_literals;
using sequora::record::RecorderOptions;
using sequora::record::RecordStreams;

// An output that the test may read while the listeners write to it.
class SharedText : public std::streambuf {
public:
    std::string Text() const {
        std::lock_guard guard(mLock);
        return mText;
    }

protected:
    int overflow(int c) override {
        if (c == traits_type::eof()) return traits_type::not_eof(c);
        const char ch = traits_type::to_char_type(c);
        xsputn(&ch, 1);
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        std::lock_guard guard(mLock);
        mText.append(s, static_cast<std::size_t>(n));
        return n;
    }

private:
    mutable std::mutex mLock;
    std::string mText;
};

class RecordStreamsTest : public ::testing::Test {
protected:
    void SetUp() override {
        galdera::ServerOptions options;
        options.objects.push_back({"AcqSystem1", "AcqSystem"});
        options.recordsPerSecond = 200;
        server = testsupport::StartStandIn(options);
        ASSERT_NE(server, nullptr);
        client.SetPorts(server->HandoutPort(), server->CommandPort());
    }

    int Record(const std::vector<std::string>& objects, const std::function<void()>& waitForStop) {
        RecorderOptions options;
        options.server = "127.0.0.1";
        options.objects = objects;
        return RecordStreams(options, client, {out, "the test's output"}, err, stop, waitForStop);
    }

    // Answers the stream port requests (every port request after the hand-out's) with `answer`.
    void AnswerStreamPortRequests(const std::string& answer) {
        auto requests = std::make_shared<std::atomic<int>>(0);
        server->SetAnswerOverride(
            [requests, answer](const std::string& command) -> std::optional<std::string> {
                if (command != "-GetNextAvailablePortNumber" || ++*requests == 1) return std::nullopt;
                return answer;
            });
    }

    // Returns once each object has at least `count` lines in the output (or patience ran out).
    std::function<void()> UntilLinesOf(const std::vector<std::string>& objects, std::size_t count) {
        return [this, objects, count] {
            const auto deadline = std::chrono::steady_clock::now() + testsupport::kPatience;
            while (std::chrono::steady_clock::now() < deadline) {
                const auto lines = recordcheck::Lines(text.Text());
                const auto linesOf = [&lines](const std::string& name) {
                    return std::count_if(lines.begin(), lines.end(), [&name](const std::string& line) {
                        const auto cells = recordcheck::SplitCells(line);
                        return cells.size() > 1 && cells[1] == name;
                    });
                };
                const bool enough = std::all_of(objects.begin(), objects.end(), [&](const std::string& name) {
                    return linesOf(name) >= static_cast<long>(count);
                });
                if (enough) return;
                std::this_thread::sleep_for(5ms);
            }
        };
    }

    std::vector<std::string> Commands(const std::string& prefix) const {
        std::vector<std::string> texts;
        for (const auto& command : server->Received()) {
            if (command.text.rfind(prefix, 0) == 0) texts.push_back(command.text);
        }
        return texts;
    }

    std::unique_ptr<galdera::GalderaServer> server;
    comlux::ComluxClient client;
    SharedText text;
    std::ostream out{&text};
    std::ostringstream err;
    sequora::record::StopRequest stop;
};

TEST_F(RecordStreamsTest, TwoObjectsOfDifferentKindsAreRecordedUntilStoppedAndCountedExactly) {
    // VT1 named twice is recorded once.
    ASSERT_EQ(Record({"CSC2", "VT1", "VT1"}, UntilLinesOf({"CSC2", "VT1"}, 3)), sequora::record::kExitDone)
        << err.str();

    EXPECT_THAT(Commands("-SetApplicationName"), ElementsAre("-SetApplicationName \"comlux-record\""));
    EXPECT_THAT(Commands("-OpenStream"),
                ElementsAre("-OpenStream CSC2 CscAcqEnt", "-OpenStream VT1 VTAcqEnt"));
    EXPECT_THAT(Commands("-CloseStream"),
                ElementsAre("-CloseStream CSC2 CscAcqEnt", "-CloseStream VT1 VTAcqEnt"));

    bool whole = false;
    const auto lines = recordcheck::Lines(text.Text(), &whole);
    EXPECT_TRUE(whole) << "the last line is cut";
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front() + "\n", sequora::record::HeaderLine());
    const auto objects = recordcheck::DefaultObjects();
    std::map<std::string, int> seen;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        EXPECT_EQ(recordcheck::Problem(lines[i], objects), "") << lines[i].substr(0, 200);
        ++seen[recordcheck::SplitCells(lines[i]).at(1)];
    }
    EXPECT_GE(seen["CSC2"], 3);
    EXPECT_GE(seen["VT1"], 3);
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ(err.str(),
              "CSC2\t" + std::to_string(seen["CSC2"]) + "\nVT1\t" + std::to_string(seen["VT1"]) + "\n");
}

TEST_F(RecordStreamsTest, ObjectsThatCannotBeStreamedAreAllNamedAndNothingIsOpened) {
    bool waited = false;
    EXPECT_EQ(Record({"Nope", "AcqSystem1", "CSC1"}, [&waited] { waited = true; }),
              sequora::record::kExitNoStream);
    EXPECT_FALSE(waited);
    EXPECT_EQ(err.str(),
              "comlux-record: the server has no object Nope\n"
              "comlux-record: AcqSystem1 is of data type AcqSystem, which has no data stream\n");
    EXPECT_THAT(Commands("-OpenStream"), IsEmpty());
    EXPECT_EQ(text.Text(), "") << "not even a header without a stream";
}

TEST_F(RecordStreamsTest, NoServerEndsWithStatusOneAndSaysHowToLearnWhy) {
    const int unused = testsupport::UnusedLoopbackPort();
    client.SetPorts(unused, unused);
    EXPECT_EQ(Record({"CSC1"}, [] {}), sequora::record::kExitNoConnection);
    EXPECT_EQ(
        err.str(),
        "comlux-record: cannot connect to 127.0.0.1 (--log PATH writes the client log, which says why)\n");
    EXPECT_EQ(text.Text(), "");
}

TEST_F(RecordStreamsTest, AFailedWriteEndsTheRecordingAtOnceAndSaysHowManyRecordsWereWritten) {
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    sequora::record::FdOutput buffer(full);
    std::ostream broken(&buffer);
    RecorderOptions options;
    options.server = "127.0.0.1";
    options.objects = {"Events"};
    bool waited = false;
    EXPECT_EQ(
        RecordStreams(options, client, {broken, "/dev/full", &buffer}, err, stop, [&] { waited = true; }),
        sequora::record::kExitBadUsage);
    ::close(full);
    EXPECT_FALSE(waited);
    EXPECT_EQ(err.str(),
              "Events\t0\ncomlux-record: writing the records to /dev/full failed after 0 records (" +
                  std::string(std::strerror(ENOSPC)) + ")\n");
    EXPECT_THAT(Commands("-OpenStream"), IsEmpty());
}

TEST_F(RecordStreamsTest, AStreamThatCannotBeSetUpIsNamedWithItsReasonAndEndsWithStatusOne) {
    const std::string why = " (--log PATH writes the client log, which says why)";
    struct Case {
        std::string portAnswer;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        // A port the listener cannot take: the listeners do not start.
        {"0 -1",
         {"comlux-record: the stream of CSC1 could not be opened: the client could not listen for it" + why,
          "comlux-record: the stream of Events could not be opened: the client could not listen for it" +
              why}},
        {"0 65536",
         {"comlux-record: the stream of CSC1 could not be opened: the client could not listen for it" + why,
          "comlux-record: the stream of Events could not be opened: the client could not listen for it" +
              why}},
        // The server refuses the port: the connection fails with the first stream.
        {"-1",
         {"comlux-record: the stream of CSC1 could not be opened: the server handed out no port for it",
          "comlux-record: the stream of Events could not be opened: the server handed out no port for it"}},
    };
    for (const Case& c : cases) {
        err.str("");
        AnswerStreamPortRequests(c.portAnswer);
        EXPECT_EQ(Record({"CSC1", "Events"}, [] { FAIL() << "recorded without streams"; }),
                  sequora::record::kExitNoConnection);
        EXPECT_EQ(recordcheck::Lines(err.str()), c.messages) << c.portAnswer;
    }
    EXPECT_THAT(Commands("-OpenStream"), IsEmpty());
}

TEST_F(RecordStreamsTest, AStreamTheServerNeverConnectsIsNamedAndTheOthersAreClosed) {
    // The server answers the stream set-up of every kind but CSC and connects only those.
    server->SetAnswerOverride([](const std::string& command) -> std::optional<std::string> {
        if (command.starts_with("-CreateStream") && command.ends_with("CscAcqEnt")) return "0";
        return std::nullopt;
    });
    EXPECT_EQ(Record({"Events", "CSC1"}, [] { FAIL() << "recorded without every stream"; }),
              sequora::record::kExitNoConnection);
    const auto lines = recordcheck::Lines(err.str());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0],
              "comlux-record: the stream of CSC1 could not be opened: the server did not connect it "
              "within 5 s");
    EXPECT_THAT(lines[1], ::testing::StartsWith("Events\t"));
    EXPECT_EQ(lines[2], "CSC1\t0");
    EXPECT_THAT(Commands("-CloseStream"),
                ElementsAre("-CloseStream Events EventAcqEnt", "-CloseStream CSC1 CscAcqEnt"));
}

TEST_F(RecordStreamsTest, AStopAbandonsAConnectionAttemptThatHangsAndStillPrintsTheCounts) {
    testsupport::FullAcceptQueue blackHole;
    ASSERT_TRUE(blackHole.Ready());
    client.SetPorts(blackHole.Port(), blackHole.Port());
    std::thread interrupter([this] {
        std::this_thread::sleep_for(200ms);
        stop.Request();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Record({"CSC1", "VT1"}, [] { FAIL() << "recorded without a connection"; }),
              sequora::record::kExitNoConnection);
    const auto took = std::chrono::steady_clock::now() - start;
    interrupter.join();
    EXPECT_LT(took, 1500ms) << "the stop was not obeyed within a second";
    EXPECT_EQ(err.str(), "comlux-record: stopped before recording began\nCSC1\t0\nVT1\t0\n");
}

}  // namespace
