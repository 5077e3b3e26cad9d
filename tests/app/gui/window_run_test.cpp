#include <QLabel>
#include <QStatusBar>
#include <algorithm>
#include <atomic>
#include <optional>

#include "app/core/RunMessages.h"
#include "app/gui/TimingDialog.h"
#include "tests/app/gui/GuiTestSupport.h"

namespace guitest {
namespace {

using ::testing::ElementsAre;

const char kTrialsCompleted[] = "Trials Completed";

// The run controls as the window shows them.
struct ShownRunControls {
    bool startEnabled;
    std::string pauseCaption;
    bool listButtonsEnabled;
    bool trialCountReadOnly;
    bool runContinuouslyEnabled;
    bool operator==(const ShownRunControls&) const = default;
};

void PrintTo(const ShownRunControls& c, std::ostream* out) {
    *out << "{start " << c.startEnabled << ", \"" << c.pauseCaption << "\", list " << c.listButtonsEnabled
         << ", count read-only " << c.trialCountReadOnly << ", continuously " << c.runContinuouslyEnabled
         << "}";
}

const ShownRunControls kIdle{true, "Pause", true, false, true};
const ShownRunControls kRunning{false, "Pause", false, true, false};
const ShownRunControls kPaused{false, "Continue", false, true, false};

class WindowRunTest : public WindowTest {
protected:
    ShownRunControls Shown() const {
        bool listEnabled = true;
        for (int id : {kIdAddItem, kIdRemoveAll, kIdRemoveCurrent, kIdMoveUp, kIdMoveDown}) {
            listEnabled = listEnabled && Button(id)->isEnabled();
        }
        bool listDisabled = true;
        for (int id : {kIdAddItem, kIdRemoveAll, kIdRemoveCurrent, kIdMoveUp, kIdMoveDown}) {
            listDisabled = listDisabled && !Button(id)->isEnabled();
        }
        EXPECT_TRUE(listEnabled || listDisabled) << "list buttons disagree";
        return {Button(kIdStart)->isEnabled(), Button(kIdPause)->text().toStdString(), listEnabled,
                Edit(kIdTrialCount)->isReadOnly(), Box(kIdRunContinuously)->isEnabled()};
    }
    // A run that sets bit 5 on and waits, with the server gone under it.
    void StartBit5RunAndLoseTheServer() {
        ConnectToStandIn();
        Click(kIdSetBit);
        Type(kIdBitNumber, "5");
        Choose(kIdBitState, 0);
        Type(kIdDelay, "60000");
        Click(kIdAddItem);
        Click(kIdStart);
        ASSERT_TRUE(
            WaitUntil([&] { return window->RunStatus().startsWith("Trial 1 of 1 \u00b7 row 1 of 1"); }));
        standIn->Stop();
    }
    void ExpectOnlyBit5MayStillBeOn() const {
        const auto messages = prompter->Messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_TRUE(messages[0].starts_with("Bit 5 may still be on: ")) << messages[0];
    }
    bool MessageShown(const std::string& text) const {
        const auto messages = prompter->Messages();
        return std::find(messages.begin(), messages.end(), text) != messages.end();
    }
};

TEST_F(WindowRunTest, StartPauseContinueStopSwitchTheControls) {
    ConnectToStandIn();
    Type(kIdDelay, "20");
    Click(kIdAddItem);
    Click(kIdAddItem);
    Click(kIdRunContinuously);
    EXPECT_TRUE(Edit(kIdTrialCount)->isReadOnly());

    Click(kIdStart);
    EXPECT_EQ(Shown(), kRunning);
    Click(kIdAddItem);  // disabled: nothing happens
    EXPECT_EQ(window->Items().RowCount(), 2);
    Click(kIdPause);
    EXPECT_EQ(Shown(), kPaused);
    Click(kIdPause);
    EXPECT_EQ(Shown(), kRunning);
    Click(kIdStop);
    EXPECT_EQ(Shown(), kIdle);  // writable although Run Continuously is still checked
    JoinWorkers();
}

TEST_F(WindowRunTest, FinishedRunRestoresControlsAndWaitsForTheBoxWhileTheWindowStaysUsable) {
    ConnectToStandIn();
    prompter->autoDismiss = false;
    Click(kIdAddItem);
    Click(kIdAddItem);
    Type(kIdTrialCount, "2");
    Click(kIdStart);

    ASSERT_TRUE(WaitUntil([&] { return prompter->OpenBoxes() == 1; }));
    EXPECT_THAT(prompter->Messages(), ElementsAre(kTrialsCompleted));
    EXPECT_EQ(Shown(), kIdle);
    EXPECT_EQ(window->Form().trialCount, 2);
    // The box is open and the worker waits for it, yet the window still takes clicks.
    Click(kIdAddItem);
    EXPECT_EQ(window->Items().RowCount(), 3);

    prompter->DismissOpenBoxes();
    JoinWorkers();
}

TEST_F(WindowRunTest, ClosingWhileTheWorkerWaitsForItsBoxEndsCleanly) {
    ConnectToStandIn();
    prompter->autoDismiss = false;
    Type(kIdTrialCount, "0");
    Click(kIdStart);
    ASSERT_TRUE(WaitUntil([&] { return prompter->OpenBoxes() == 1; }));

    window->close();
    EXPECT_EQ(prompter->OpenBoxes(), 0u);
    JoinWorkers();
    EXPECT_FALSE(window->isVisible());
}

TEST_F(WindowRunTest, ClosingDuringARunTurnsOffTheBitsItSetBeforeDisconnecting) {
    ConnectToStandIn();
    Click(kIdSetBit);
    Type(kIdBitNumber, "3");
    Choose(kIdBitState, 0);
    Type(kIdDelay, "60000");
    Click(kIdAddItem);
    Click(kIdStart);
    ASSERT_TRUE(WaitUntil([&] { return window->RunStatus().startsWith("Trial 1 of 1 \u00b7 row 1 of 1"); }));

    window->close();
    JoinWorkers();
    std::vector<std::string> bitCommands;
    for (const auto& command : standIn->Received()) {
        if (command.text.find("DIOPortBits") != std::string::npos) bitCommands.push_back(command.text);
    }
    EXPECT_THAT(bitCommands,
                ElementsAre("-SetDIOPortBits AcqSystem1 0 8", "-ResetDIOPortBits AcqSystem1 0 8"));
}

TEST_F(WindowRunTest, DisconnectDuringARunAsksAndTurnsTheBitsOffBeforeTheConnectionCloses) {
    ConnectToStandIn();
    Click(kIdSetBit);
    Type(kIdBitNumber, "3");
    Choose(kIdBitState, 0);
    Type(kIdDelay, "60000");
    Click(kIdAddItem);
    Click(kIdStart);
    ASSERT_TRUE(WaitUntil([&] { return window->RunStatus().startsWith("Trial 1 of 1 \u00b7 row 1 of 1"); }));

    prompter->stopAndDisconnect = false;
    ClickConnect();
    EXPECT_TRUE(window->Connected());
    EXPECT_EQ(Shown(), kRunning);
    prompter->stopAndDisconnect = true;
    ClickConnect();
    ASSERT_TRUE(WaitUntil([&] { return !window->Connected(); }));
    EXPECT_THAT(prompter->questions,
                ElementsAre("Stop the run and disconnect?", "Stop the run and disconnect?"));
    ASSERT_TRUE(WaitUntil([&] {
        return window->RunStatus() == "Stopped in trial 1, row 1 \u00b7 Reset bit 3.";
    })) << window->RunStatus().toStdString();
    std::vector<std::string> bitCommands;
    for (const auto& command : standIn->Received()) {
        if (command.text.find("DIOPortBits") != std::string::npos) bitCommands.push_back(command.text);
    }
    EXPECT_THAT(bitCommands,
                ElementsAre("-SetDIOPortBits AcqSystem1 0 8", "-ResetDIOPortBits AcqSystem1 0 8"));
    EXPECT_EQ(Button(kIdConnect)->text(), "Connect");
    EXPECT_EQ(Shown(), kIdle);
    JoinWorkers();
}

TEST_F(WindowRunTest, StopNamesEachBitItCouldNotTurnOffInABox) {
    StartBit5RunAndLoseTheServer();
    Click(kIdStop);
    ASSERT_TRUE(WaitUntil([&] { return !prompter->Messages().empty(); }));
    ExpectOnlyBit5MayStillBeOn();
    EXPECT_FALSE(window->RunStatus().contains("Reset")) << window->RunStatus().toStdString();
    JoinWorkers();
}

TEST_F(WindowRunTest, ClosingNamesEachBitItCouldNotTurnOffBeforeTheWindowGoes) {
    StartBit5RunAndLoseTheServer();
    window->close();
    ExpectOnlyBit5MayStillBeOn();
}

TEST_F(WindowRunTest, AnEarlierRunsEndIsNotTakenForTheRunNowPlaying) {
    ConnectToStandIn();
    // The first run's only command is answered once the second run has begun.
    std::atomic<bool> holding{true};
    std::atomic<int> events{0};
    standIn->SetAnswerOverride([&](const std::string& command) -> std::optional<std::string> {
        if (command.find("-PostEvent") != std::string::npos && events++ == 0) {
            while (holding) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return std::nullopt;
    });
    Click(kIdSendEvent);
    Type(kIdEventString, "Tone on");
    Type(kIdDelay, "60000");
    Click(kIdAddItem);
    Click(kIdStart);
    ASSERT_TRUE(WaitUntil([&] { return events.load() == 1; }));
    Click(kIdStop);
    Click(kIdStart);
    holding = false;

    ASSERT_TRUE(WaitUntil([&] { return window->RunStatus().startsWith("Trial 1 of 1 \u00b7 row 1 of 1"); }))
        << window->RunStatus().toStdString();
    Click(kIdPause);
    EXPECT_EQ(window->RunStatus(), "Paused");
    Click(kIdStop);
    JoinWorkers();
    standIn->SetAnswerOverride({});
}

TEST_F(WindowRunTest, StartOptionBeginsTheRunOnlyWithAConnection) {
    Type(kIdDelay, "60000");
    Click(kIdAddItem);
    WindowOptions options;
    options.start = true;
    window->ApplyStartOptions(options);
    EXPECT_TRUE(MessageShown(sequora::run_messages::kStartNeedsConnection));
    EXPECT_EQ(Shown(), kIdle);

    ConnectToStandIn();
    window->ApplyStartOptions(options);
    EXPECT_EQ(Shown(), kRunning);
    Click(kIdStop);
}

TEST_F(WindowRunTest, StatusBarTextsGiveWayInsteadOfRunningPastTheWindowsEdge) {
    ConnectToStandIn();
    Type(kIdDelay, "60000");
    Click(kIdAddItem);
    window->resize(window->minimumSize());
    Click(kIdStart);
    ASSERT_TRUE(WaitUntil([&] { return window->RunStatus().startsWith("Trial 1 of 1 \u00b7 row 1 of 1"); }));
    QCoreApplication::processEvents();

    const auto* bar = window->findChild<QStatusBar*>();
    ASSERT_NE(bar, nullptr);
    for (const QLabel* label : bar->findChildren<QLabel*>()) {
        EXPECT_LE(label->geometry().right(), bar->contentsRect().right()) << label->toolTip().toStdString();
        if (label->text() == window->RunStatus()) {
            EXPECT_GE(label->width(), label->sizeHint().width());
        }
    }
    const auto labels = bar->findChildren<QLabel*>();
    const bool detailsShortened = std::any_of(labels.begin(), labels.end(), [&](const QLabel* label) {
        return label->toolTip() == window->RunDetails() && label->text() != label->toolTip();
    });
    EXPECT_TRUE(detailsShortened) << window->RunDetails().toStdString();
    Click(kIdStop);
}

TEST_F(WindowRunTest, FieldWithoutANumberStartsNothing) {
    ConnectToStandIn();
    Click(kIdAddItem);
    Type(kIdTrialCount, "many");
    Click(kIdStart);
    EXPECT_THAT(prompter->Messages(), ElementsAre("Enter an integer."));
    EXPECT_TRUE(Edit(kIdTrialCount)->hasFocus());
    EXPECT_FALSE(window->Runner().Running());
    EXPECT_EQ(Shown(), kIdle);
    JoinWorkers();
    EXPECT_THAT(prompter->Messages(), ElementsAre("Enter an integer."));
}

TEST_F(WindowRunTest, StatusBarFollowsTheRunAndTheUsersHighlightComesBack) {
    ConnectToStandIn();
    Type(kIdDelay, "0");
    Click(kIdAddItem);
    Type(kIdDelay, "60000");
    Click(kIdAddItem);
    ClickRow(0);
    Type(kIdTrialCount, "3");
    Click(kIdStart);

    ASSERT_TRUE(WaitUntil([&] {
        return window->RunStatus().startsWith("Trial 1 of 3 \u00b7 row 2 of 2 \u00b7 00:00:");
    })) << window->RunStatus().toStdString();
    EXPECT_EQ(HighlightedRow(), 1);
    EXPECT_EQ(window->SelectedRow(), 0);
    Click(kIdPause);
    EXPECT_EQ(window->RunStatus(), "Paused");
    Click(kIdStop);
    ASSERT_TRUE(WaitUntil([&] { return window->RunStatus() == "Stopped in trial 1, row 2"; }))
        << window->RunStatus().toStdString();
    EXPECT_EQ(HighlightedRow(), 0);
    EXPECT_EQ(window->SelectedRow(), 0);
    JoinWorkers();
}

TEST_F(WindowRunTest, CompletedRunNamesItsSeedAndTheJournalItWrote) {
    ConnectToStandIn();
    Click(kIdSendEvent);
    Type(kIdEventString, "Tone on");
    Click(kIdAddItem);
    Type(kIdTrialCount, "2");
    Click(kIdStart);
    ASSERT_TRUE(WaitUntil([&] { return window->RunStatus() == "Completed 2 trials in 00:00:00"; }))
        << window->RunStatus().toStdString();
    JoinWorkers();

    const QString text = window->RunDetails();
    const qsizetype at = text.indexOf(" \u00b7 journal ");
    ASSERT_GT(at, 0) << text.toStdString();
    const QString journal = QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")) + "/Sequora/journals/" +
                            text.mid(at + QStringLiteral(" \u00b7 journal ").size());
    const std::string written = testsupport::ReadFile(journal.toStdString());
    EXPECT_NE(written.find("# sequora run journal"), std::string::npos) << journal.toStdString();
    EXPECT_NE(written.find(" -PostEvent \"Tone on\" 0 0"), std::string::npos);
    EXPECT_NE(written.find("# ended completed"), std::string::npos);

    // The Timing button opens the report of that journal.
    QPushButton* timing = nullptr;
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        if (button->text() == "Timing") timing = button;
    }
    ASSERT_NE(timing, nullptr);
    ASSERT_TRUE(timing->isVisible());
    timing->click();
    const auto* report = window->findChild<TimingDialog*>();
    ASSERT_NE(report, nullptr);
    EXPECT_TRUE(report->Figures("lateness").endsWith(" \u00b7 2 commands"))
        << report->Figures("lateness").toStdString();
    EXPECT_TRUE(report->Caption().contains(" \u00b7 file - \u00b7 ")) << report->Caption().toStdString();
}

TEST_F(WindowRunTest, ServerGoneMidRunEndsTheRunAndTheConnection) {
    ConnectToStandIn();
    Click(kIdSendEvent);
    Type(kIdDelay, "20");
    Click(kIdAddItem);
    Click(kIdRunContinuously);
    Click(kIdStart);
    ASSERT_TRUE(WaitUntil([&] { return window->RunStatus().startsWith("Trial 2"); }));
    standIn->Stop();

    ASSERT_TRUE(WaitUntil([&] { return window->RunStatus().startsWith("Run stopped: "); }))
        << window->RunStatus().toStdString();
    // The window asks the client about the connection without waiting for the answer.
    ASSERT_TRUE(WaitUntil([&] { return !window->ConnectionBusy(); }));
    EXPECT_TRUE(window->ConnectionStatus().startsWith("Connection lost: "))
        << window->ConnectionStatus().toStdString();
    EXPECT_FALSE(window->Connected());
    EXPECT_EQ(Button(kIdConnect)->text(), "Connect");
    EXPECT_EQ(Shown(), kIdle);
    JoinWorkers();
}

TEST_F(WindowRunTest, StartWithoutAConnectionIsRefused) {
    Click(kIdAddItem);
    Click(kIdStart);
    EXPECT_THAT(prompter->Messages(),
                ElementsAre("Not connected to the server: connect before starting a run."));
    EXPECT_FALSE(window->Runner().Running());
    EXPECT_EQ(Shown(), kIdle);
}

}  // namespace
}  // namespace guitest
