#include "tests/app/gui/GuiTestSupport.h"

namespace guitest {
namespace {

using ::testing::ElementsAre;

const std::string kWorkedExample = std::string(SEQUORA_SOURCE_DIR) + "/examples/worked_example.cfg";

using WindowFilesTest = WindowTest;

TEST_F(WindowFilesTest, OpensTheWorkedExampleAndSavesItBackByteForByte) {
    prompter->QueueFile(QString::fromStdString(kWorkedExample));
    Click(kIdOpenCfg);
    WaitForLoad();
    EXPECT_EQ(prompter->lastTitle, "Open Brontavix Configuration File");
    EXPECT_EQ(prompter->lastFilter, "Brontavix Configuration File(*.cfg*);;All Files (*.*)");
    const auto rows = window->Items().Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (sequora::ItemRow{"1", "Yes", "Stimulus On", "Yes", "3", "On", "No", "NA", "500"}));
    EXPECT_EQ(rows[1], (sequora::ItemRow{"2", "No", "NA", "Yes", "3", "Off", "Yes", "-StartRecording",
                                         "Random: 200-800"}));
    EXPECT_THAT(ShownNumbers(), ElementsAre("1", "2"));

    const std::string saved = dir.File("saved.cfg");
    testsupport::WriteFile(saved, "older and longer content to be replaced entirely\r\n");
    prompter->QueueFile(QString::fromStdString(saved));
    Click(kIdSaveCfg);
    EXPECT_EQ(prompter->lastTitle, "Brontavix Configuration File");
    EXPECT_EQ(prompter->lastFilter, "Configuration Files (*.cfg);;All Files (*.*)");
    EXPECT_EQ(testsupport::ReadFile(saved), testsupport::ReadFile(kWorkedExample));

    // Opening again appends, numbering on from the rows already there.
    prompter->QueueFile(QString::fromStdString(saved));
    Click(kIdOpenCfg);
    WaitForLoad();
    EXPECT_THAT(ShownNumbers(), ElementsAre("1", "2", "3", "4"));
    EXPECT_TRUE(prompter->Messages().empty());
}

TEST_F(WindowFilesTest, CancelChangesNothingAndAnUnwritableFileIsReported) {
    Click(kIdAddItem);
    Click(kIdOpenCfg);  // no answer queued: the dialog is cancelled
    WaitForLoad();
    Click(kIdSaveCfg);
    EXPECT_EQ(window->Items().RowCount(), 1);

    prompter->QueueFile(QString::fromStdString(dir.File("missing-folder/out.cfg")));
    Click(kIdSaveCfg);
    EXPECT_THAT(prompter->Messages(), ElementsAre("Error; Text file could not be opened for writing."));
}

TEST_F(WindowFilesTest, ClosingAfterASaveTearsTheWindowDownWhole) {
    // The undo history goes with the window and moves as it goes: the window's title must
    // not follow it into members already gone. Under ASan the first round fails at once.
    for (int round = 0; round < 20; ++round) {
        Click(kIdAddItem);
        prompter->QueueFile(QString::fromStdString(dir.File("closing.cfg")));
        Click(kIdSaveCfg);
        ASSERT_FALSE(window->HasUnsavedChanges());
        window->close();
        window.reset();
        MakeWindow();
    }
}

TEST_F(WindowFilesTest, AFileThatCannotBeOpenedChangesNothingButSaysWhy) {
    const QString title = window->windowTitle();
    prompter->QueueFile(QString::fromStdString(dir.File("absent.cfg")));
    Click(kIdOpenCfg);
    WaitForLoad();
    EXPECT_EQ(window->windowTitle(), title);
    EXPECT_EQ(window->Items().RowCount(), 0);
    EXPECT_FALSE(window->UndoStack().canUndo());
    EXPECT_THAT(prompter->Messages(), ElementsAre("Cannot open absent.cfg: No such file or directory."));
}

TEST_F(WindowFilesTest, OpenStaysAvailableDuringARunAndAppendsRows) {
    ConnectToStandIn();
    Type(kIdDelay, "60000");
    Click(kIdAddItem);
    Click(kIdStart);
    ASSERT_FALSE(Button(kIdAddItem)->isEnabled());
    EXPECT_TRUE(Button(kIdOpenCfg)->isEnabled());
    prompter->QueueFile(QString::fromStdString(kWorkedExample));
    Click(kIdOpenCfg);
    WaitForLoad();
    EXPECT_THAT(ShownNumbers(), ElementsAre("1", "2", "3"));
    Click(kIdStop);
    JoinWorkers();
}

}  // namespace
}  // namespace guitest
