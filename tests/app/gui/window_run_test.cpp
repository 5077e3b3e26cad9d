#include <algorithm>

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

TEST_F(WindowRunTest, StartWithoutAConnectionIsRefused) {
    Click(kIdAddItem);
    Click(kIdStart);
    EXPECT_THAT(prompter->Messages(), ElementsAre("Connect to the server before starting a run."));
    EXPECT_FALSE(window->Runner().Running());
    EXPECT_EQ(Shown(), kIdle);
}

}  // namespace
}  // namespace guitest
