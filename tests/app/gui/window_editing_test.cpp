#include <QContextMenuEvent>
#include <QMenu>
#include <QUndoStack>

#include "tests/app/gui/GuiTestSupport.h"

namespace guitest {
namespace {

using ::testing::ElementsAre;
using Rows = std::vector<sequora::ItemRow>;

const std::string kWorkedExample = std::string(SEQUORA_SOURCE_DIR) + "/examples/worked_example.cfg";
const char kUnsavedQuestion[] =
    "The item list has changes that have not been saved. Save them before closing?";
const char kStopRunQuestion[] = "A run is under way. Stop it and close the window?";

class WindowEditingTest : public WindowTest {
protected:
    // Adds rows whose delays are the given numbers, so that each row can be told apart.
    void AddRowsWithDelays(std::initializer_list<const char*> delays) {
        for (const char* delay : delays) {
            Type(kIdDelay, delay);
            Click(kIdAddItem);
        }
    }
    std::vector<std::string> Delays() const {
        std::vector<std::string> delays;
        for (const auto& row : window->Items().Rows()) delays.push_back(row[sequora::kColDelay]);
        return delays;
    }
    // Presses a key combination with the focus on a button, as after clicking one.
    void Press(Qt::Key key, Qt::KeyboardModifiers modifiers) {
        Button(kIdAddItem)->setFocus();
        QTest::keyClick(Button(kIdAddItem), key, modifiers);
    }
    void Undo() { Press(Qt::Key_Z, Qt::ControlModifier); }
    void Redo() { Press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier); }

    // Opens the list's context menu on a row and clicks one of its entries.
    void ChooseFromRowMenu(int row, const QString& entry) {
        QWidget* viewport = List()->viewport();
        const QPoint at = List()->visualRect(List()->model()->index(row, 0)).center();
        QContextMenuEvent request(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
        QApplication::sendEvent(viewport, &request);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        for (QAction* action : menu->actions()) {
            if (action->text() == entry) {
                ASSERT_TRUE(action->isEnabled()) << entry.toStdString();
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
                return;
            }
        }
        FAIL() << "no entry " << entry.toStdString();
    }
};

TEST_F(WindowEditingTest, EveryListEditIsUndoneAndRedone) {
    // Each edit, then undo restores the rows before it and redo the rows after it.
    struct Step {
        const char* name;
        std::function<void()> edit;
    };
    const std::vector<Step> steps{
        {"add", [&] { AddRowsWithDelays({"40"}); }},
        {"move up",
         [&] {
             ClickRow(2);
             Click(kIdMoveUp);
         }},
        {"move down",
         [&] {
             ClickRow(0);
             Click(kIdMoveDown);
         }},
        {"remove current",
         [&] {
             ClickRow(1);
             Click(kIdRemoveCurrent);
         }},
        {"remove all", [&] { Click(kIdRemoveAll); }},
        {"open",
         [&] {
             prompter->QueueFile(QString::fromStdString(kWorkedExample));
             Click(kIdOpenCfg);
             WaitForLoad();
         }},
    };
    for (const Step& step : steps) {
        window->Items().SetRows({});
        AddRowsWithDelays({"10", "20", "30"});
        const Rows before = window->Items().Rows();
        step.edit();
        const Rows after = window->Items().Rows();
        ASSERT_NE(before, after) << step.name;
        Undo();
        EXPECT_EQ(window->Items().Rows(), before) << step.name;
        Redo();
        EXPECT_EQ(window->Items().Rows(), after) << step.name;
    }
    EXPECT_TRUE(prompter->Messages().empty());
}

TEST_F(WindowEditingTest, UndoPutsTheHighlightBackAndIsOffDuringARun) {
    ConnectToStandIn();
    AddRowsWithDelays({"10", "20", "60000"});
    ClickRow(1);
    Click(kIdMoveDown);
    EXPECT_EQ(HighlightedRow(), 2);
    Undo();
    EXPECT_THAT(Delays(), ElementsAre("10", "20", "60000"));
    EXPECT_EQ(HighlightedRow(), 1);
    EXPECT_EQ(window->SelectedRow(), 1);

    Click(kIdStart);
    Undo();
    EXPECT_THAT(Delays(), ElementsAre("10", "20", "60000"));
    EXPECT_EQ(window->UndoStack().index(), 3);
    Click(kIdStop);
    JoinWorkers();
    Undo();
    EXPECT_THAT(Delays(), ElementsAre("10", "20"));
}

TEST_F(WindowEditingTest, TitleNamesTheFileAndMarksUnsavedChanges) {
    EXPECT_EQ(window->windowTitle(), "Sequora Utility Version 2.00");
    AddRowsWithDelays({"10"});
    EXPECT_EQ(window->windowTitle(), "Sequora Utility Version 2.00*");

    const std::string saved = dir.File("protocol.cfg");
    prompter->QueueFile(QString::fromStdString(saved));
    Click(kIdSaveCfg);
    EXPECT_EQ(window->windowTitle(), "Sequora \u2014 protocol.cfg");
    EXPECT_FALSE(window->HasUnsavedChanges());
    AddRowsWithDelays({"20"});
    EXPECT_EQ(window->windowTitle(), "Sequora \u2014 protocol.cfg*");
    Undo();  // back to what the file holds
    EXPECT_EQ(window->windowTitle(), "Sequora \u2014 protocol.cfg");

    // Opened into an empty list, the list is the file's; appended, it differs from both.
    MakeWindow();
    prompter->QueueFile(QString::fromStdString(kWorkedExample));
    Click(kIdOpenCfg);
    WaitForLoad();
    EXPECT_EQ(window->windowTitle(), "Sequora \u2014 worked_example.cfg");
    prompter->QueueFile(QString::fromStdString(saved));
    Click(kIdOpenCfg);
    WaitForLoad();
    EXPECT_EQ(window->windowTitle(), "Sequora \u2014 worked_example.cfg*");
}

TEST_F(WindowEditingTest, ClosingAnUnsavedListAsksSaveDiscardOrCancel) {
    AddRowsWithDelays({"10"});

    // Cancel, or Save with the save dialog cancelled: the window stays.
    prompter->unsavedAnswer = Prompter::UnsavedChoice::Cancel;
    QTest::keyClick(Edit(kIdDelay), Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
    prompter->unsavedAnswer = Prompter::UnsavedChoice::Save;
    window->close();
    EXPECT_TRUE(window->isVisible());
    EXPECT_THAT(prompter->questions, ElementsAre(kUnsavedQuestion, kUnsavedQuestion));

    // Save with a file named: written, then closed.
    const std::string saved = dir.File("kept.cfg");
    prompter->QueueFile(QString::fromStdString(saved));
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_NE(testsupport::ReadFile(saved).find("-SetDelay 10"), std::string::npos);
    EXPECT_EQ(prompter->questions.size(), 3u);

    // Discard closes at once; a list as saved asks nothing.
    MakeWindow();
    AddRowsWithDelays({"10"});
    prompter->unsavedAnswer = Prompter::UnsavedChoice::Discard;
    QTest::keyClick(Edit(kIdDelay), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    MakeWindow();
    prompter->QueueFile(QString::fromStdString(saved));
    Click(kIdOpenCfg);
    WaitForLoad();
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(prompter->questions.empty());
}

TEST_F(WindowEditingTest, ClosingDuringARunAsksToStopFirst) {
    ConnectToStandIn();
    AddRowsWithDelays({"60000"});
    prompter->QueueFile(QString::fromStdString(dir.File("run.cfg")));
    Click(kIdSaveCfg);
    Click(kIdStart);

    prompter->stopAndClose = false;
    QTest::keyClick(Edit(kIdDelay), Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->Runner().Running());

    prompter->stopAndClose = true;
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->Runner().Running());
    EXPECT_THAT(prompter->questions, ElementsAre(kStopRunQuestion, kStopRunQuestion));
    JoinWorkers();
}

TEST_F(WindowEditingTest, DoubleClickOrEnterLoadsARowIntoTheForm) {
    prompter->QueueFile(QString::fromStdString(kWorkedExample));
    Click(kIdOpenCfg);
    WaitForLoad();

    const QPoint second = List()->visualRect(List()->model()->index(1, 0)).center();
    QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, second);
    EXPECT_FALSE(Box(kIdSendEvent)->isChecked());
    EXPECT_TRUE(Box(kIdSetBit)->isChecked());
    EXPECT_FALSE(Edit(kIdBitNumber)->isReadOnly());
    EXPECT_EQ(Edit(kIdBitNumber)->text(), "3");
    EXPECT_EQ(Combo(kIdBitState)->currentText(), "Off");
    EXPECT_TRUE(Box(kIdSendCommand)->isChecked());
    EXPECT_EQ(Edit(kIdCommand)->text(), "-StartRecording");
    EXPECT_TRUE(Box(kIdRandomDelay)->isChecked());
    EXPECT_FALSE(Edit(kIdDelay)->isEnabled());
    EXPECT_EQ(Edit(kIdDelayMin)->text(), "200");
    EXPECT_EQ(Edit(kIdDelayMax)->text(), "800");

    ClickRow(0);
    List()->setFocus();
    QTest::keyClick(List(), Qt::Key_Return);
    EXPECT_TRUE(Box(kIdSendEvent)->isChecked());
    EXPECT_EQ(Edit(kIdEventString)->text(), "Stimulus On");
    EXPECT_EQ(Combo(kIdBitState)->currentText(), "On");
    EXPECT_FALSE(Box(kIdSendCommand)->isChecked());
    EXPECT_EQ(Edit(kIdCommand)->text(), "-StartRecording");  // unused: left as it was
    EXPECT_FALSE(Box(kIdRandomDelay)->isChecked());
    EXPECT_EQ(Edit(kIdDelay)->text(), "500");

    // Loaded and added again, the row comes back as it was.
    Click(kIdAddItem);
    const Rows rows = window->Items().Rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_TRUE(std::equal(rows[0].begin() + 1, rows[0].end(), rows[2].begin() + 1));
}

TEST_F(WindowEditingTest, ContextMenuReplacesDuplicatesAndRemovesRows) {
    AddRowsWithDelays({"10", "20", "30"});

    ChooseFromRowMenu(0, "Load into Form");
    EXPECT_EQ(Edit(kIdDelay)->text(), "10");
    Type(kIdDelay, "15");
    ChooseFromRowMenu(2, "Replace with Form");
    EXPECT_THAT(Delays(), ElementsAre("10", "20", "15"));
    EXPECT_THAT(ShownNumbers(), ElementsAre("1", "2", "3"));

    // Replace follows the Add Item rules and their messages.
    Click(kIdSetBit);
    Type(kIdBitNumber, "99");
    ChooseFromRowMenu(1, "Replace with Form");
    EXPECT_THAT(prompter->Messages(), ElementsAre("Enter a bit number from 0 to 31."));
    EXPECT_THAT(Delays(), ElementsAre("10", "20", "15"));

    ChooseFromRowMenu(0, "Duplicate");
    EXPECT_THAT(Delays(), ElementsAre("10", "10", "20", "15"));
    EXPECT_THAT(ShownNumbers(), ElementsAre("1", "4", "2", "3"));
    EXPECT_EQ(HighlightedRow(), 1);

    ChooseFromRowMenu(2, "Remove");
    EXPECT_THAT(Delays(), ElementsAre("10", "10", "15"));
    EXPECT_EQ(window->SelectedRow(), -1);
    Undo();
    Undo();
    EXPECT_THAT(Delays(), ElementsAre("10", "20", "15"));
}

}  // namespace
}  // namespace guitest
