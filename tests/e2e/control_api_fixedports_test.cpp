// The control API of a running sequora-run, driven with a real HTTP client: --wait and the
// event order of a two-trial run, pause/continue/stop during a run, and the refusals
// (409, 400, 413, 401).
#include <atomic>
#include <chrono>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "tests/support/CfgText.h"
#include "tests/support/FixedPortsTest.h"
#include "tests/support/Loopback.h"
#include "tests/support/Patience.h"
#include "tests/support/TempDir.h"
#include "tests/support/ToolProcess.h"

namespace {

using Json = nlohmann::json;
using ::testing::ElementsAre;
using ::testing::StartsWith;
using testsupport::CfgText;
using testsupport::ToolProcess;
using namespace std::chrono_literals;

// Collects the names of the server-sent events of one GET /events.
class EventNames {
public:
    EventNames(int port) : mClient("127.0.0.1", port) {
        mClient.set_read_timeout(30s);
        mThread = std::thread([this] {
            mClient.Get("/events", [this](const char* data, std::size_t length) {
                std::lock_guard guard(mLock);
                mText.append(data, length);
                return true;
            });
        });
    }
    ~EventNames() {
        mClient.stop();
        if (mThread.joinable()) mThread.join();
    }
    // Waits until the server has ended the stream.
    void AwaitEnd() { mThread.join(); }
    std::vector<std::string> Names() const {
        std::lock_guard guard(mLock);
        std::vector<std::string> names;
        for (std::size_t at = mText.find("event: "); at != std::string::npos;
             at = mText.find("event: ", at + 1))
            names.push_back(mText.substr(at + 7, mText.find('\n', at) - at - 7));
        return names;
    }

private:
    httplib::Client mClient;
    mutable std::mutex mLock;  // guards mText, written by the client's thread
    std::string mText;
    std::thread mThread;
};

class ControlApiTest : public testsupport::FixedPortsTest {
protected:
    std::unique_ptr<ToolProcess> Run(std::vector<std::string> args,
                                     const std::vector<std::vector<std::string>>& rows) {
        const std::string cfg = dir.File("list.cfg");
        testsupport::WriteFile(cfg, CfgText(rows));
        std::vector<std::string> all = {"--server",          "127.0.0.1", "--log",
                                        dir.File("log.txt"), "--control", std::to_string(port)};
        all.insert(all.end(), args.begin(), args.end());
        all.push_back(cfg);
        return std::make_unique<ToolProcess>("sequora-run", dir, all);
    }
    // Waits until GET /status answers with `state` (and at least row `row`); the last status seen.
    Json AwaitState(const std::string& state, int row = 0) {
        const auto until = std::chrono::steady_clock::now() + testsupport::kPatience;
        Json status;
        while (std::chrono::steady_clock::now() < until) {
            if (auto result = client.Get("/status"); result && result->status == 200) {
                status = Json::parse(result->body);
                if (status["state"] == state && status["row"] >= row) return status;
            }
            std::this_thread::sleep_for(5ms);
        }
        return status;
    }
    httplib::Result Post(const std::string& path, const std::string& body = "") {
        return client.Post(path.c_str(), body, "application/json");
    }

    testsupport::TempDir dir;
    const int port = testsupport::UnusedLoopbackPort();
    httplib::Client client{"127.0.0.1", port};
};

TEST_F(ControlApiTest, WaitHoldsTheRunUntilStartAndEventsComeInTheRunsOrder) {
    StartServer();
    auto run = Run({"--wait", "--trials", "2"}, {{"-SendEventString \"a\"", "-SetDelay 1"}, {"-SetDelay 1"}});
    ASSERT_TRUE(run->Started());
    const Json idle = AwaitState("idle");
    ASSERT_EQ(idle["connected"], true) << idle.dump();
    EXPECT_EQ(Post("/pause")->status, 409);
    EventNames events(port);
    std::this_thread::sleep_for(100ms);  // the stream is open before the run begins
    const auto started = Post("/start");
    ASSERT_TRUE(started);
    EXPECT_EQ(started->status, 200) << started->body;
    EXPECT_EQ(Post("/start")->status, 409) << "one run per sequora-run";
    EXPECT_EQ(run->Wait(), 0);
    events.AwaitEnd();
    EXPECT_THAT(events.Names(), ElementsAre("row", "row", "row", "row", "ended", "connection"));
}

TEST_F(ControlApiTest, PauseContinueAndStopActAsTheRunnersOwnControlsAndStopAnswersWithTheEnd) {
    StartServer();
    auto run = Run({"--continuous"}, {{"-SendTTLBit 5 On", "-SetDelay 20"}});
    ASSERT_TRUE(run->Started());
    // Once the bit is on, so that the stop has a reset to send.
    ASSERT_EQ(AwaitState("running", 1)["row"], 1);
    EXPECT_EQ(Post("/pause")->status, 200);
    EXPECT_EQ(AwaitState("paused")["state"], "paused");
    EXPECT_EQ(Post("/continue")->status, 200);
    const Json running = AwaitState("running");
    EXPECT_EQ(running["trials"], "continuous");
    EXPECT_EQ(running["file"], dir.File("list.cfg"));

    EXPECT_EQ(Post("/stop", "{\"now\":true}")->status, 400);
    EXPECT_EQ(Post("/stop", "{")->status, 400);
    EXPECT_EQ(Post("/stop", std::string(65 * 1024, ' '))->status, 413);
    const auto stopped = Post("/stop");
    ASSERT_TRUE(stopped);
    ASSERT_EQ(stopped->status, 200) << stopped->body;
    const Json end = Json::parse(stopped->body);
    EXPECT_EQ(end["ended"], "stopped");
    EXPECT_THAT(end["timing"].get<std::string>(), StartsWith("# timing  lateness_ms median "));
    EXPECT_EQ(run->Wait(), 0);
    std::vector<std::string> sent;
    for (const auto& command : server->Received()) sent.push_back(command.text);
    EXPECT_EQ(sent.back(), "-ResetDIOPortBits AcqSystem1 0 32")
        << "the stop's reset went out before the answer";
}

TEST_F(ControlApiTest, WithATokenEveryRequestNeedsIt) {
    StartServer();
    const std::string token = dir.File("token");
    testsupport::WriteFile(token, "s3cret\n");
    ASSERT_EQ(::chmod(token.c_str(), 0600), 0);
    auto run = Run({"--wait", "--control-token", token}, {{"-SetDelay 1"}});
    ASSERT_TRUE(run->Started());
    client.set_bearer_token_auth("s3cret");
    ASSERT_EQ(AwaitState("idle")["connected"], true);
    httplib::Client stranger("127.0.0.1", port);
    EXPECT_EQ(stranger.Get("/status")->status, 401);
    EXPECT_EQ(stranger.Post("/stop", "", "application/json")->status, 401);
    EXPECT_EQ(Post("/stop")->status, 200);
    EXPECT_EQ(run->Wait(), 0);
}

}  // namespace
