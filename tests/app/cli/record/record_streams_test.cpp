// comlux-record's work from connecting to the counts, against the in-process stand-in server on
// free loopback ports: what it sends, what it writes, and how it refuses what it cannot record.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

#include "app/cli/record/ComluxRecord.h"
#include "comlux/ComluxClient.h"
#include "galdera/GalderaServer.h"
#include "tests/app/cli/record/RecordLineCheck.h"
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
        return RecordStreams(options, client, out, false, err, waitForStop);
    }

    // Returns once each object has at least `count` lines in the output (or patience ran out).
    std::function<void()> UntilLinesOf(std::vector<std::string> objects, std::size_t count) {
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

TEST_F(RecordStreamsTest, AnOutputThatCannotBeWrittenEndsWithStatusTwo) {
    std::ostream broken(nullptr);
    RecorderOptions options;
    options.server = "127.0.0.1";
    options.objects = {"Events"};
    EXPECT_EQ(RecordStreams(options, client, broken, false, err, [] {}), sequora::record::kExitBadUsage);
    EXPECT_THAT(recordcheck::Lines(err.str()),
                ::testing::Contains("comlux-record: writing the records failed"));
    EXPECT_THAT(Commands("-CloseStream"), ElementsAre("-CloseStream Events EventAcqEnt"));
}

}  // namespace
