// The window's control API, driven with a real HTTP client while the window runs: the
// window's own refusal without a connection, then start, pause, continue and stop taking
// the paths of its buttons.
#include <future>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include "app/core/RunMessages.h"
#include "tests/app/gui/GuiTestSupport.h"
#include "tests/support/FullAcceptQueue.h"

namespace guitest {
namespace {

using Json = nlohmann::json;

class WindowControlTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        WindowOptions options;
        options.controlPort = 0;
        window->ApplyStartOptions(options);
        ASSERT_NE(window->ControlPort(), 0);
    }
    // A request on a thread of its own while the window keeps working: {status, body}.
    std::pair<int, Json> Request(const std::string& method, const std::string& path,
                                 const std::string& body = "") {
        const int port = window->ControlPort();
        auto answer = std::async(std::launch::async, [=] {
            httplib::Client client("127.0.0.1", port);
            auto result = method == "GET" ? client.Get(path.c_str())
                                          : client.Post(path.c_str(), body, "application/json");
            return result ? std::pair<int, Json>(result->status, Json::parse(result->body, nullptr, false))
                          : std::pair<int, Json>(-1, Json());
        });
        EXPECT_TRUE(
            WaitUntil([&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
        return answer.get();
    }
    bool AwaitState(const std::string& state) {
        return WaitUntil([&] { return Request("GET", "/status").second["state"] == state; });
    }
};

TEST_F(WindowControlTest, StartWithoutAConnectionIsRefusedWithTheWindowsOwnMessage) {
    const auto [status, body] = Request("POST", "/start");
    EXPECT_EQ(status, 409);
    EXPECT_EQ(body["error"], sequora::run_messages::kStartNeedsConnection);
    EXPECT_TRUE(prompter->Messages().empty()) << "no box for a request";
    EXPECT_EQ(Request("POST", "/start", "{\"trials\":0}").first, 400);
}

TEST_F(WindowControlTest, AConnectAttemptIsReportedAsConnectingUntilItEnds) {
    const testsupport::FullAcceptQueue blackHole;
    ASSERT_TRUE(blackHole.Ready());
    window->Client().SetPorts(blackHole.Port(), blackHole.Port());
    window->Client().SetConnectTimeout(std::chrono::hours(1));
    Type(kIdServerName, "127.0.0.1");
    Click(kIdConnect);
    EXPECT_EQ(Request("GET", "/status").second["state"], "connecting");
    Click(kIdConnect);
    EXPECT_TRUE(AwaitState("idle"));
    EXPECT_EQ(Request("GET", "/status").second["connected"], false);
}

TEST_F(WindowControlTest, StartPauseContinueAndStopTakeThePathsOfTheButtons) {
    ConnectToStandIn();
    EXPECT_EQ(Request("GET", "/status").second["connected"], true);
    Click(kIdSendEvent);
    Type(kIdDelay, "20");
    Click(kIdAddItem);

    EXPECT_EQ(Request("POST", "/start", "{\"continuous\":true}").first, 200);
    EXPECT_TRUE(Box(kIdRunContinuously)->isChecked());
    ASSERT_TRUE(AwaitState("running"));
    EXPECT_EQ(Request("POST", "/start").first, 409);
    EXPECT_EQ(Request("POST", "/pause").first, 200);
    EXPECT_EQ(window->RunStatus(), "Paused");
    EXPECT_EQ(Button(kIdPause)->text(), "Continue");
    EXPECT_EQ(Request("POST", "/continue").first, 200);
    EXPECT_EQ(Button(kIdPause)->text(), "Pause");
    const auto [status, end] = Request("POST", "/stop");
    EXPECT_EQ(status, 200);
    EXPECT_EQ(end["ended"], "stopped");
    EXPECT_TRUE(window->RunStatus().startsWith("Stopped in trial ")) << window->RunStatus().toStdString();
    JoinWorkers();
}

}  // namespace
}  // namespace guitest
