#include <QContextMenuEvent>
#include <QMenu>
#include <QRegularExpression>
#include <QTimer>
#include <QUndoStack>
#include <chrono>
#include <string>

#include "app/core/CfgSetup.h"
#include "tests/app/gui/GuiTestSupport.h"

namespace guitest {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// One row per line: with the window's pause a load of it lasts a while.
std::string BareRows(int rows) {
    std::string text;
    for (int i = 0; i < rows; ++i) text += "-c\r\n";
    return text;
}

// Items built through a variable, so that the rows differ and the reader's state matters.
std::string NumberedItems(int items) {
    std::string text = "// generated\r\n%d = 100\r\n";
    for (int i = 0; i < items; ++i) {
        text += "-CreateTrialItem\r\n\t-SendEventString \"tone %d\"\r\n\t-SetDelay %d\r\n%d += 1\r\n";
    }
    return text;
}

class WindowLoadTest : public WindowTest {
protected:
    // Writes a file into the test's folder and opens it through the Open button.
    void Open(const std::string& name, const std::string& text) {
        const std::string path = dir.File(name);
        testsupport::WriteFile(path, text);
        prompter->QueueFile(QString::fromStdString(path));
        Click(kIdOpenCfg);
    }
    // Waits until the load under way has appended `rows` rows.
    void WaitForRows(int rows) {
        ASSERT_TRUE(WaitUntil([&] { return window->Items().RowCount() >= rows; }));
        ASSERT_TRUE(window->Loading()) << "the load ended before the test could act during it";
    }
    QPushButton* CancelButton() const {
        for (auto* button : window->findChildren<QPushButton*>()) {
            if (button->text() == "Cancel" && button->isVisibleTo(window.get())) return button;
        }
        return nullptr;
    }
    // Presses keys with the focus on the Connect button, which stays enabled during a load and
    // takes none of the keys for itself.
    void Press(QKeyCombination keys) const {
        // A closed popup menu may leave no window active, and shortcuts go to the active one.
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        Button(kIdConnect)->setFocus();
        QTest::keyClick(Button(kIdConnect), keys.key(), keys.keyboardModifiers());
    }
    std::string CancelledMessage(const std::string& file) const {
        const std::string rows = std::to_string(window->Items().RowCount());
        return "Reading stopped at line " + rows + " of " + file + ": the load was cancelled. " + rows +
               " items were loaded.";
    }
};

TEST_F(WindowLoadTest, ALoadInSlicesShowsRowsAsTheyComeAndEndsWithTheCoreLoadsRows) {
    loadPausePerLine = std::chrono::milliseconds(0);
    MakeWindow();
    // Under the sanitizers a tenth is as telling and ends in time.
    const int items = kSanitized ? 20000 : 200000;
    // Runs at the event loop's first turn after Open returned: the load must still be going.
    bool turnedDuringLoad = false;
    int rowsShownThen = -1;
    QTimer::singleShot(0, window.get(), [&] {
        turnedDuringLoad = window->Loading();
        rowsShownThen = List()->model()->rowCount();
    });
    Open("numbered.cfg", NumberedItems(items));
    WaitForLoad();
    EXPECT_TRUE(turnedDuringLoad) << "the window did not get a turn while the file was read";
    EXPECT_GT(rowsShownThen, 0);
    EXPECT_LT(rowsShownThen, items);

    sequora::ItemList core;
    EXPECT_TRUE(sequora::CfgSetup(core, std::chrono::milliseconds(0)).Load(dir.File("numbered.cfg")).Whole());
    EXPECT_EQ(window->Items().Rows(), core.Rows());
    ASSERT_EQ(List()->model()->rowCount(), items);
    const QString last = QString::number(items + 99);
    EXPECT_EQ(List()->model()->index(items - 1, sequora::kColDelay).data().toString(), last);
    EXPECT_EQ(List()->model()->index(items - 1, sequora::kColEventString).data().toString(), "tone " + last);
    EXPECT_THAT(prompter->Messages(), IsEmpty());
    EXPECT_EQ(window->windowTitle(), "Sequora \u2014 numbered.cfg");
    EXPECT_TRUE(window->LoadStatus().isEmpty());
}

TEST_F(WindowLoadTest, ALongLoadShowsItsProgressAndTheStatusBarCancelKeepsTheRowsRead) {
    Open("slow.cfg", BareRows(200));
    ASSERT_TRUE(WaitUntil([&] { return !window->LoadStatus().isEmpty(); }));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Loading slow\\.cfg\u2026 \\d{1,2}% \\(\\d+ items?\\)$"))
                    .match(window->LoadStatus())
                    .hasMatch())
        << window->LoadStatus().toStdString();
    ASSERT_NE(CancelButton(), nullptr);
    QTest::mouseClick(CancelButton(), Qt::LeftButton);

    EXPECT_FALSE(window->Loading());
    const int rows = window->Items().RowCount();
    EXPECT_GT(rows, 0);
    EXPECT_LT(rows, 200);
    EXPECT_THAT(prompter->Messages(), ElementsAre(CancelledMessage("slow.cfg")));
    EXPECT_TRUE(window->LoadStatus().isEmpty());
    EXPECT_EQ(CancelButton(), nullptr);
    QTest::qWait(100);
    EXPECT_EQ(window->Items().RowCount(), rows) << "reading went on after Cancel";
    EXPECT_EQ(prompter->Messages().size(), 1u) << "the message is given once";
}

TEST_F(WindowLoadTest, EscapeCancelsALoadWhichThenCountsAsReadInPart) {
    Open("slow.cfg", BareRows(200));
    WaitForRows(3);
    QTest::keyClick(Edit(kIdDelay), Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible()) << "Escape during a load closes the window";
    EXPECT_FALSE(window->Loading());
    EXPECT_THAT(prompter->Messages(), ElementsAre(CancelledMessage("slow.cfg")));
    EXPECT_EQ(window->windowTitle(), "Sequora Utility Version 2.00*");

    // Saving over the file would lose the rows never read.
    prompter->QueueFile(QString::fromStdString(dir.File("slow.cfg")));
    Click(kIdSaveCfg);
    EXPECT_EQ(prompter->Messages().back(),
              "slow.cfg was read only in part: saving over it would lose what was not read. Save the list "
              "under another name.");
    EXPECT_EQ(testsupport::ReadFile(dir.File("slow.cfg")), BareRows(200));

    // The rows read are one step of the undo history.
    Press(Qt::CTRL | Qt::Key_Z);
    EXPECT_EQ(window->Items().RowCount(), 0);
    EXPECT_FALSE(window->HasUnsavedChanges());
}

TEST_F(WindowLoadTest, WhileALoadRunsTheListCannotBeChangedSavedOrRun) {
    Type(kIdDelay, "10");
    Click(kIdAddItem);
    Type(kIdDelay, "20");
    Click(kIdAddItem);
    ClickRow(1);
    const int undoIndex = window->UndoStack().index();
    Open("slow.cfg", "-SetDelay 25\r\n" + BareRows(200));
    WaitForRows(4);

    for (int id : {kIdAddItem, kIdRemoveAll, kIdRemoveCurrent, kIdMoveUp, kIdMoveDown, kIdStart, kIdOpenCfg,
                   kIdSaveCfg}) {
        EXPECT_FALSE(Button(id)->isEnabled()) << "control " << id;
    }
    EXPECT_TRUE(Button(kIdConnect)->isEnabled());
    // Keys and the row menu are refused as well.
    prompter->lastTitle.clear();
    for (QKeyCombination keys :
         {Qt::CTRL | Qt::Key_Z, Qt::CTRL | Qt::Key_S, Qt::CTRL | Qt::Key_O, QKeyCombination(Qt::Key_Delete),
          Qt::ALT | Qt::Key_Up, QKeyCombination(Qt::Key_F5)}) {
        Press(keys);
    }
    EXPECT_TRUE(prompter->lastTitle.isEmpty()) << "a file dialog opened";
    EXPECT_EQ(window->UndoStack().index(), undoIndex);
    EXPECT_THAT(prompter->Messages(), IsEmpty());
    const QPoint at = List()->visualRect(List()->model()->index(1, 0)).center();
    QContextMenuEvent request(QContextMenuEvent::Mouse, at, List()->viewport()->mapToGlobal(at));
    QApplication::sendEvent(List()->viewport(), &request);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    for (QAction* action : menu->actions()) {
        if (action->text() == "Replace with Form" || action->text() == "Duplicate" ||
            action->text() == "Remove" || action->text() == "Undo") {
            EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();
        }
    }
    menu->close();

    WaitForLoad();
    for (int id :
         {kIdAddItem, kIdRemoveAll, kIdRemoveCurrent, kIdMoveUp, kIdMoveDown, kIdOpenCfg, kIdSaveCfg}) {
        EXPECT_TRUE(Button(id)->isEnabled()) << "control " << id;
    }
    ASSERT_EQ(window->Items().RowCount(), 202);
    EXPECT_EQ(window->Items().CellText(1, sequora::kColDelay), "25")
        << "the file's first line changes the last row";
    EXPECT_EQ(window->SelectedRow(), 1);

    // Undo takes the whole load back, the changed last row included; redo brings it again.
    Press(Qt::CTRL | Qt::Key_Z);
    EXPECT_EQ(window->UndoStack().index(), undoIndex);
    ASSERT_EQ(window->Items().RowCount(), 2);
    EXPECT_EQ(window->Items().CellText(1, sequora::kColDelay), "20");
    Press(Qt::CTRL | Qt::SHIFT | Qt::Key_Z);
    EXPECT_EQ(window->Items().RowCount(), 202);
    EXPECT_EQ(window->Items().CellText(1, sequora::kColDelay), "25");
    EXPECT_EQ(List()->model()->rowCount(), 202);
}

TEST_F(WindowLoadTest, ClosingTheWindowDuringALoadEndsItCleanly) {
    Open("slow.cfg", BareRows(200));
    WaitForRows(2);
    prompter->unsavedAnswer = Prompter::UnsavedChoice::Discard;
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->Loading());
    EXPECT_EQ(prompter->questions.size(), 1u) << "the rows read are asked about as any unsaved list";
    EXPECT_EQ(prompter->Messages().size(), 1u);

    // A window destroyed in the middle of a load leaves nothing behind that still reads.
    MakeWindow();
    Open("slow.cfg", BareRows(200));
    WaitForRows(2);
    window.reset();
    QTest::qWait(100);
}

TEST_F(WindowLoadTest, AStartGivenWithTheFileWaitsForTheWholeList) {
    ConnectToStandIn();
    const std::string path = dir.File("events.cfg");
    std::string text;
    for (int i = 0; i < 5; ++i) text += "-c\r\n\t-SendEventString \"e" + std::to_string(i) + "\"\r\n";
    testsupport::WriteFile(path, text);
    WindowOptions options;
    options.file = path;
    options.start = true;
    window->ApplyStartOptions(options);
    EXPECT_TRUE(window->Loading());
    EXPECT_FALSE(window->Runner().Running());
    ASSERT_TRUE(WaitUntil([&] { return window->RunStatus().startsWith("Completed 1 trial in "); }))
        << window->RunStatus().toStdString();
    int posted = 0;
    for (const auto& command : standIn->Received())
        posted += command.text.find("-PostEvent") != std::string::npos;
    EXPECT_EQ(posted, 5);
    EXPECT_THAT(prompter->Messages(), ElementsAre("Trials Completed"));
    JoinWorkers();
}

TEST_F(WindowLoadTest, TheUnsavedMarkFollowsOpenEditUndoAndSave) {
    loadPausePerLine = std::chrono::milliseconds(0);
    MakeWindow();
    Open("protocol.cfg", NumberedItems(3));
    WaitForLoad();
    EXPECT_FALSE(window->HasUnsavedChanges());
    Click(kIdAddItem);
    EXPECT_EQ(window->windowTitle(), "Sequora \u2014 protocol.cfg*");
    Press(Qt::CTRL | Qt::Key_Z);
    EXPECT_EQ(window->windowTitle(), "Sequora \u2014 protocol.cfg");
    Press(Qt::CTRL | Qt::SHIFT | Qt::Key_Z);
    EXPECT_TRUE(window->HasUnsavedChanges());

    prompter->QueueFile(QString::fromStdString(dir.File("copy.cfg")));
    Click(kIdSaveCfg);
    EXPECT_EQ(window->windowTitle(), "Sequora \u2014 copy.cfg");
    // Back to the opened rows, the list differs from the file now named.
    Press(Qt::CTRL | Qt::Key_Z);
    EXPECT_EQ(window->windowTitle(), "Sequora \u2014 copy.cfg*");
    prompter->unsavedAnswer = Prompter::UnsavedChoice::Cancel;
    window->close();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(prompter->questions.size(), 1u);
}

}  // namespace
}  // namespace guitest
