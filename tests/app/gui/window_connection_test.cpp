#include <QLabel>
#include <QStatusBar>
#include <algorithm>
#include <chrono>

#include "galdera/GalderaServer.h"
#include "tests/app/gui/GuiTestSupport.h"
#include "tests/support/FullAcceptQueue.h"
#include "tests/support/Loopback.h"
#include "tests/support/StandIn.h"

namespace guitest {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using namespace std::chrono_literals;

std::vector<std::string> ReceivedTexts(const galdera::GalderaServer& server) {
    std::vector<std::string> texts;
    for (const galdera::ReceivedCommand& command : server.Received()) texts.push_back(command.text);
    return texts;
}

class WindowConnectionTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        server = testsupport::StartStandIn();
        ASSERT_NE(server, nullptr);
        window->Client().SetPorts(server->HandoutPort(), server->CommandPort());
        window->Client().SetAnswerTimeout(5s);
        Type(kIdServerName, "127.0.0.1");
    }
    void TearDown() override {
        WindowTest::TearDown();
        server.reset();
    }

    // What the status bar shows of the connection, as far as it can be read on screen.
    QString ShownConnectionStatus() {
        QCoreApplication::processEvents();
        for (const QLabel* label : window->findChildren<QStatusBar*>().front()->findChildren<QLabel*>()) {
            if (label->toolTip() == window->ConnectionStatus()) return label->text();
        }
        return {};
    }

    std::unique_ptr<galdera::GalderaServer> server;
};

TEST_F(WindowConnectionTest, ConnectsAnnouncesItselfAndDisconnectsAgain) {
    // A bad integer field is reported but does not stop the connect.
    Click(kIdSetBit);
    Type(kIdBitNumber, "abc");
    EXPECT_EQ(window->ConnectionStatus(), "Not connected");
    EXPECT_EQ(ShownConnectionStatus().toStdString(), "Not connected") << "a text that fits is shown whole";
    ClickConnect();

    EXPECT_THAT(prompter->Messages(), ElementsAre("Enter an integer."));
    ASSERT_TRUE(window->Connected());
    EXPECT_EQ(Button(kIdConnect)->text(), "Disconnect");
    EXPECT_TRUE(Edit(kIdServerName)->isReadOnly());
    EXPECT_EQ(Edit(kIdServerName)->text(), "127.0.0.1");
    EXPECT_EQ(Edit(kIdBitNumber)->text(), "0");
    EXPECT_THAT(ReceivedTexts(*server), Contains("-SetApplicationName \"Sequora\""));
    const auto objects = galdera::DefaultObjects();
    ASSERT_EQ(window->ObjectNames().size(), objects.size());
    EXPECT_EQ(window->ObjectNames().front(), objects.front().name);
    EXPECT_EQ(window->ObjectTypes().back(), objects.back().type);
    // The command port is the one the hand-out gave, not the hand-out's own.
    const int port = window->Client().GetCommandPort();
    EXPECT_NE(port, 0);
    EXPECT_NE(port, server->HandoutPort());
    EXPECT_EQ(window->ConnectionStatus().toStdString(),
              "Connected to 127.0.0.1 (command port " + std::to_string(port) + ")");
    EXPECT_EQ(ShownConnectionStatus().toStdString(), window->ConnectionStatus().toStdString());

    ClickConnect();
    EXPECT_FALSE(window->Connected());
    EXPECT_EQ(Button(kIdConnect)->text(), "Connect");
    EXPECT_FALSE(Edit(kIdServerName)->isReadOnly());
    EXPECT_EQ(window->ConnectionStatus(), "Not connected");
}

TEST_F(WindowConnectionTest, AServerThatClosesAnIdleConnectionIsNoticedWithoutAnythingSent) {
    ClickConnect();
    ASSERT_TRUE(window->Connected());
    server->Stop();
    // The check comes four times a second; the patience only bounds a hang.
    ASSERT_TRUE(WaitUntil([&] { return !window->Connected(); }, 10000))
        << window->ConnectionStatus().toStdString();
    EXPECT_EQ(window->ConnectionStatus(), "Connection lost: the server closed the connection");
    EXPECT_EQ(Button(kIdConnect)->text(), "Connect");
}

TEST_F(WindowConnectionTest, ConnectionFoundGoneAfterConnectingLeavesTheWindowDisconnected) {
    server->SetAnswerOverride([this](const std::string& command) -> std::optional<std::string> {
        if (command.rfind("-RequestGalderaObjects", 0) == 0)
            server->SetFault(galdera::Fault::CloseInsteadOfAnswer, 1);
        return std::nullopt;
    });
    ClickConnect();
    EXPECT_THAT(prompter->Messages(), ElementsAre("Retrieval of Galdera Objects and Types was Failed"));
    EXPECT_FALSE(window->Connected());
    EXPECT_EQ(Button(kIdConnect)->text(), "Connect");
    EXPECT_FALSE(Edit(kIdServerName)->isReadOnly());
    EXPECT_EQ(window->ConnectionStatus(), "Connection lost: no answer to the requests after connecting");

    server->SetAnswerOverride(nullptr);
    ClickConnect();
    EXPECT_TRUE(window->Connected());
    EXPECT_EQ(Button(kIdConnect)->text(), "Disconnect");
}

TEST_F(WindowConnectionTest, CancelOrEscapeAbandonsAConnectThatHangsWithoutABox) {
    const testsupport::FullAcceptQueue blackHole;
    ASSERT_TRUE(blackHole.Ready());
    window->Client().SetPorts(blackHole.Port(), blackHole.Port());
    // Only a cancel ends the attempt within the test's patience.
    window->Client().SetConnectTimeout(std::chrono::hours(1));
    const bool visible = window->isVisible();
    for (const bool escape : {false, true}) {
        Click(kIdConnect);
        EXPECT_TRUE(window->Connecting());
        EXPECT_EQ(Button(kIdConnect)->text(), "Cancel");
        EXPECT_EQ(window->ConnectionStatus(), QString::fromUtf8("Connecting to 127.0.0.1\u2026"));
        EXPECT_TRUE(Edit(kIdServerName)->isReadOnly());
        if (escape) {
            QTest::keyClick(Edit(kIdServerName), Qt::Key_Escape);
        } else {
            Click(kIdConnect);
        }
        ASSERT_TRUE(WaitUntil([&] { return !window->ConnectionBusy(); })) << "the attempt was not cut short";
        EXPECT_FALSE(window->Connected());
        EXPECT_EQ(Button(kIdConnect)->text(), "Connect");
        EXPECT_EQ(window->ConnectionStatus(), "Not connected");
        EXPECT_FALSE(Edit(kIdServerName)->isReadOnly());
        EXPECT_EQ(window->isVisible(), visible) << "Escape cancels the connect, not the window";
    }
    EXPECT_TRUE(prompter->Messages().empty());

    window->Client().SetPorts(server->HandoutPort(), server->CommandPort());
    ClickConnect();
    EXPECT_TRUE(window->Connected());
}

TEST_F(WindowConnectionTest, FailedConnectStaysDisconnectedAndCanBeRetried) {
    const int port = testsupport::UnusedLoopbackPort();
    window->Client().SetPorts(port, port);
    ClickConnect();
    EXPECT_THAT(prompter->Messages(), ElementsAre("Connection Failed, Please check log file for details"));
    EXPECT_EQ(Button(kIdConnect)->text(), "Connect");
    EXPECT_FALSE(Edit(kIdServerName)->isReadOnly());

    window->Client().SetPorts(server->HandoutPort(), server->CommandPort());
    ClickConnect();
    EXPECT_TRUE(window->Connected());
    EXPECT_EQ(prompter->Messages().size(), 1u);
}

TEST_F(WindowConnectionTest, FailedObjectListLeavesTheWindowConnected) {
    server->SetAnswerOverride([](const std::string& command) -> std::optional<std::string> {
        if (command.rfind("-RequestGalderaObjects", 0) == 0) return "-1";
        return std::nullopt;
    });
    ClickConnect();
    EXPECT_THAT(prompter->Messages(), ElementsAre("Retrieval of Galdera Objects and Types was Failed"));
    EXPECT_TRUE(window->Connected());
    EXPECT_EQ(Button(kIdConnect)->text(), "Disconnect");

    ClickConnect();
    EXPECT_EQ(Button(kIdConnect)->text(), "Connect");
}

TEST_F(WindowConnectionTest, RunSendsTheRowsAndShowsTheCorruptAnswerBoxOnTheWindowThread) {
    ClickConnect();
    ASSERT_TRUE(window->Connected());
    Click(kIdSendEvent);
    Type(kIdEventString, "Tone on");
    Click(kIdAddItem);
    const std::size_t before = server->Received().size();

    // The worker reads the broken answer; its box must still open on the window thread. The
    // failed command then ends the run.
    server->SetFault(galdera::Fault::BadValidation, 1);
    Click(kIdStart);
    ASSERT_TRUE(WaitUntil([&] {
        const auto messages = prompter->Messages();
        return !messages.empty() && messages.back().rfind("Run stopped: ", 0) == 0;
    }));
    JoinWorkers();

    EXPECT_THAT(prompter->Messages(),
                Contains("Error, invalid validation code, data has been corrupted or improperly "
                         "formatted"));
    const auto texts = ReceivedTexts(*server);
    ASSERT_GT(texts.size(), before);
    EXPECT_EQ(texts[before], " -PostEvent \"Tone on\" 0 0");
}

TEST_F(WindowConnectionTest, ClosingDuringARunDisconnectsAndEndsTheWorker) {
    ClickConnect();
    ASSERT_TRUE(window->Connected());
    Type(kIdDelay, "60000");
    Click(kIdAddItem);
    Click(kIdRunContinuously);
    Click(kIdStart);
    ASSERT_TRUE(window->Runner().Running());

    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->Runner().Running());
    EXPECT_FALSE(window->Connected());
    JoinWorkers();  // would hang for the whole delay if not woken
}

TEST_F(WindowConnectionTest, EscapeEndsTheRunButSkipsTheDisconnect) {
    ClickConnect();
    Type(kIdDelay, "60000");
    Click(kIdAddItem);
    Click(kIdStart);
    ASSERT_TRUE(window->Runner().Running());

    QTest::keyClick(Edit(kIdDelay), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->Runner().Running());
    EXPECT_TRUE(window->Connected());
    JoinWorkers();
}

// Closing asks the client to disconnect even without a connection; Escape does not, so
// only the client's own shutdown at destruction leaves its warning then.
using WindowClosingTest = WindowTest;

int NotInitializedWarnings(const std::string& log) {
    const std::string warning = "Unable to Close Message Client, Client has not yet been initialized";
    int count = 0;
    for (std::size_t at = log.find(warning); at != std::string::npos; at = log.find(warning, at + 1)) {
        ++count;
    }
    return count;
}

TEST_F(WindowClosingTest, CloseBoxDisconnectsEvenWhenNotConnectedButEscapeDoesNot) {
    window->close();
    EXPECT_FALSE(window->isVisible());
    window.reset();
    EXPECT_EQ(NotInitializedWarnings(testsupport::ReadFile(LogPath())), 2);

    MakeWindow();
    QTest::keyClick(Edit(kIdServerName), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    window.reset();
    EXPECT_EQ(NotInitializedWarnings(testsupport::ReadFile(LogPath())), 1);
    MakeWindow();  // the fixture's teardown expects a window
}

}  // namespace
}  // namespace guitest
