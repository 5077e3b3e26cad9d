#include <QKeyEvent>
#include <QPalette>
#include <algorithm>
#include <array>
#include <unistd.h>

#include "tests/app/gui/GuiTestSupport.h"

namespace guitest {
namespace {

using ::testing::ElementsAre;

std::string HostName() {
    char name[128] = {};
    gethostname(name, sizeof name - 1);
    return name;
}

std::vector<std::string> ComboEntries(QComboBox* combo) {
    std::vector<std::string> entries;
    entries.reserve(static_cast<std::size_t>(combo->count()));
    for (int i = 0; i < combo->count(); ++i) entries.push_back(combo->itemText(i).toStdString());
    return entries;
}

using WindowFormTest = WindowTest;

TEST_F(WindowFormTest, StartsWithComputerNameDefaultsAndLockedFields) {
    EXPECT_EQ(window->windowTitle(), "Sequora Utility Version 2.00");
    EXPECT_FALSE(window->windowIcon().isNull());
    EXPECT_EQ(Edit(kIdServerName)->text().toStdString(), HostName());
    EXPECT_EQ(Edit(kIdBitNumber)->text(), "0");
    EXPECT_EQ(Edit(kIdDelay)->text(), "0");
    EXPECT_EQ(Edit(kIdDelayMin)->text(), "0");
    EXPECT_EQ(Edit(kIdDelayMax)->text(), "0");
    EXPECT_EQ(Edit(kIdTrialCount)->text(), "1");

    // Read-only edits stay enabled; combos and the range edits are disabled instead.
    for (int id : {kIdEventString, kIdBitNumber, kIdCommand}) {
        EXPECT_TRUE(Edit(id)->isReadOnly()) << id;
        EXPECT_TRUE(Edit(id)->isEnabled()) << id;
    }
    EXPECT_FALSE(Combo(kIdBitState)->isEnabled());
    EXPECT_FALSE(Combo(kIdCommandOptions)->isEnabled());
    EXPECT_FALSE(Edit(kIdDelayMin)->isEnabled());
    EXPECT_FALSE(Edit(kIdDelayMax)->isEnabled());
    EXPECT_TRUE(Edit(kIdDelay)->isEnabled());
    EXPECT_FALSE(Edit(kIdServerName)->isReadOnly());

    EXPECT_THAT(ComboEntries(Combo(kIdBitState)), ElementsAre("On", "Off"));
    EXPECT_EQ(Combo(kIdBitState)->currentText(), "Off");
    EXPECT_THAT(ComboEntries(Combo(kIdCommandOptions)),
                ElementsAre("No Selection", "-StartAcquisition", "-StopAcquisition", "-StartRecording",
                            "-StopRecording"));
    EXPECT_EQ(Combo(kIdCommandOptions)->currentText(), "No Selection");
    EXPECT_EQ(Button(kIdConnect)->text(), "Connect");
    EXPECT_EQ(Button(kIdPause)->text(), "Pause");
}

TEST_F(WindowFormTest, EveryControlExistsInsideTheWindowWithoutOverlapAndTabsByID) {
    std::vector<QWidget*> controls;
    for (const ControlTemplate& control : MainWindowTemplate()) {
        if (control.id < 0) continue;
        QWidget* widget = window->Control(control.id);
        ASSERT_NE(widget, nullptr) << control.id;
        EXPECT_EQ(widget->objectName(), QString::number(control.id));
        EXPECT_TRUE(window->rect().contains(widget->geometry())) << control.id;
        controls.push_back(widget);
    }
    for (std::size_t a = 0; a < controls.size(); ++a) {
        for (std::size_t b = a + 1; b < controls.size(); ++b) {
            EXPECT_FALSE(controls[a]->geometry().intersects(controls[b]->geometry()))
                << controls[a]->objectName().toStdString() << " overlaps "
                << controls[b]->objectName().toStdString();
        }
    }

    // Walking the focus chain from the first control meets the IDs in ascending order.
    std::vector<int> order;
    QWidget* widget = window->Control(kIdServerName);
    do {
        bool numbered = false;
        const int id = widget->objectName().toInt(&numbered);
        if (numbered && window->Control(id) == widget) order.push_back(id);
        widget = widget->nextInFocusChain();
    } while (widget != window->Control(kIdServerName) && order.size() < 40);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    EXPECT_EQ(order.size(), 27u);
}

TEST_F(WindowFormTest, CheckBoxesUnlockTheirFieldsAndLockThemAgain) {
    // A locked field looks it, as a disabled one does.
    const auto greyed = [&](int id) {
        return Edit(id)->palette().color(QPalette::Base) == window->palette().color(QPalette::Window);
    };
    const std::array lockable{kIdEventString, kIdBitNumber, kIdCommand};
    for (int id : lockable) EXPECT_TRUE(greyed(id)) << id;
    Click(kIdSendEvent);
    EXPECT_FALSE(Edit(kIdEventString)->isReadOnly());
    Click(kIdSetBit);
    EXPECT_FALSE(Edit(kIdBitNumber)->isReadOnly());
    EXPECT_TRUE(Combo(kIdBitState)->isEnabled());
    Click(kIdSendCommand);
    EXPECT_FALSE(Edit(kIdCommand)->isReadOnly());
    EXPECT_TRUE(Combo(kIdCommandOptions)->isEnabled());
    Click(kIdRandomDelay);
    EXPECT_TRUE(Edit(kIdDelayMin)->isEnabled());
    EXPECT_TRUE(Edit(kIdDelayMax)->isEnabled());
    EXPECT_FALSE(Edit(kIdDelay)->isEnabled());
    for (int id : lockable) EXPECT_FALSE(greyed(id)) << id;

    for (int id : {kIdSendEvent, kIdSetBit, kIdSendCommand, kIdRandomDelay}) Click(id);
    for (int id : lockable) EXPECT_TRUE(greyed(id)) << id;
    EXPECT_TRUE(Edit(kIdEventString)->isReadOnly());
    EXPECT_TRUE(Edit(kIdBitNumber)->isReadOnly());
    EXPECT_FALSE(Combo(kIdBitState)->isEnabled());
    EXPECT_TRUE(Edit(kIdCommand)->isReadOnly());
    EXPECT_FALSE(Combo(kIdCommandOptions)->isEnabled());
    EXPECT_FALSE(Edit(kIdDelayMin)->isEnabled());
    EXPECT_TRUE(Edit(kIdDelay)->isEnabled());
    EXPECT_TRUE(prompter->Messages().empty());
}

TEST_F(WindowFormTest, CommandPresetIsCopiedEvenWhenAnEarlierFieldIsNoNumber) {
    Click(kIdSendCommand);
    Click(kIdSetBit);
    Type(kIdBitNumber, "abc");
    Type(kIdDelay, "75");
    Choose(kIdCommandOptions, 4);

    EXPECT_THAT(prompter->Messages(), ElementsAre("Enter an integer."));
    EXPECT_EQ(Edit(kIdCommand)->text(), "-StopRecording");
    // Showing the form puts the kept values back: the bad field and the one after it.
    EXPECT_EQ(Edit(kIdBitNumber)->text(), "0");
    EXPECT_EQ(Edit(kIdDelay)->text(), "0");

    Type(kIdBitNumber, "4");
    Choose(kIdCommandOptions, 0);
    EXPECT_EQ(Edit(kIdCommand)->text(), "No Selection");
    EXPECT_EQ(window->Form().bitNumber, 4);
    EXPECT_EQ(prompter->Messages().size(), 1u);
}

TEST_F(WindowFormTest, AddItemWithBadNumberWarnsFocusesFieldAndAddsNothing) {
    Click(kIdSetBit);
    Type(kIdBitNumber, "abc");
    Type(kIdDelay, "250");
    Click(kIdAddItem);

    EXPECT_THAT(prompter->Messages(), ElementsAre("Enter an integer."));
    EXPECT_TRUE(Edit(kIdBitNumber)->hasFocus());
    EXPECT_EQ(Edit(kIdBitNumber)->selectedText(), "abc");
    EXPECT_EQ(window->Items().RowCount(), 0);
}

TEST_F(WindowFormTest, BitNumberOutsideThePortIsRefusedAndFocused) {
    Click(kIdSetBit);
    Type(kIdBitNumber, "32");
    Click(kIdAddItem);
    EXPECT_THAT(prompter->Messages(), ElementsAre("Enter a bit number from 0 to 31."));
    EXPECT_TRUE(Edit(kIdBitNumber)->hasFocus());
    EXPECT_EQ(window->Items().RowCount(), 0);

    Type(kIdBitNumber, "31");
    Click(kIdAddItem);
    ASSERT_EQ(window->Items().RowCount(), 1);
    EXPECT_EQ(window->Items().CellText(0, sequora::kColBitNumber), "31");
}

// Audit finding: "Off" typed over "On" was recorded as "On", and "NA" was never produced.
TEST_F(WindowFormTest, TextTypedOverTheBitStateSelectsItsEntryOrIsRefused) {
    Click(kIdSetBit);
    Choose(kIdBitState, 0);
    ASSERT_EQ(Combo(kIdBitState)->currentText(), "On");
    const auto typeState = [&](const QString& text) {
        QLineEdit* edit = Combo(kIdBitState)->lineEdit();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
        edit->setText(text);  // whatever the completer proposed on the way
        Click(kIdAddItem);
    };
    typeState("Off");
    typeState("maybe");
    typeState("on");

    // A state the runner cannot send would be listed as "NA" and could never be saved.
    const auto rows = window->Items().Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][sequora::kColBitState], "Off");
    EXPECT_EQ(rows[1][sequora::kColBitState], "On");
    EXPECT_EQ(Combo(kIdBitState)->currentIndex(), 0);
    EXPECT_THAT(prompter->Messages(), ElementsAre("Bit State: choose On or Off, not \"maybe\"."));
}

TEST_F(WindowFormTest, DelaysTheRunnerWouldNotWaitAsWrittenAreRefusedNamingTheField) {
    for (const char* text : {"-5", "2.5", "2147483648", "1e3"}) {
        Type(kIdDelay, text);
        Click(kIdAddItem);
    }
    Click(kIdRandomDelay);
    Type(kIdDelayMin, "-5");
    Type(kIdDelayMax, "10");
    Click(kIdAddItem);
    Type(kIdDelayMin, "5");
    Type(kIdDelayMax, "10.5");
    Click(kIdAddItem);
    EXPECT_EQ(window->Items().RowCount(), 0);
    EXPECT_EQ(window->focusWidget(), Edit(kIdDelayMax));

    const auto refused = [](const std::string& field, const std::string& typed) {
        return field + ": enter a whole number of milliseconds from 0 to 2147483647, not \"" + typed + "\".";
    };
    const std::string fixed = "Delay Post Trial Action (ms)";
    EXPECT_THAT(prompter->Messages(),
                ElementsAre(refused(fixed, "-5"), refused(fixed, "2.5"), refused(fixed, "2147483648"),
                            refused(fixed, "1e3"), refused("Delay Range: Min", "-5"),
                            refused("Delay Range: Max", "10.5")));
    // The fixed delay does not count with a random one, whatever it holds.
    Type(kIdDelayMax, " 10 ");
    Click(kIdAddItem);
    ASSERT_EQ(window->Items().RowCount(), 1);
    EXPECT_EQ(window->Items().Rows()[0][sequora::kColDelay], "Random: 5-10");
}

// Audit finding: a trial count read by Connect or a command option never reached the runner.
TEST_F(WindowFormTest, EveryFormReadHandsTheTrialCountToTheRunner) {
    Type(kIdTrialCount, "3");
    Click(kIdSendCommand);
    Choose(kIdCommandOptions, 1);
    EXPECT_EQ(window->Runner().TrialCount(), 3);

    // A read that stops at an earlier field keeps the count it had.
    Click(kIdSetBit);
    Type(kIdBitNumber, "x");
    Type(kIdTrialCount, "7");
    Choose(kIdCommandOptions, 2);
    EXPECT_EQ(window->Runner().TrialCount(), 3);
}

// Audit finding: Enter in the command presets' edit part copied a preset into the command.
TEST_F(WindowFormTest, EnterInTheCommandPresetsChangesNothing) {
    Click(kIdSendCommand);
    Type(kIdCommand, "-Custom");
    Combo(kIdCommandOptions)->setCurrentIndex(3);
    QLineEdit* presetEdit = Combo(kIdCommandOptions)->lineEdit();
    presetEdit->setFocus();
    QTest::keyClick(presetEdit, Qt::Key_Return);
    QTest::keyClick(presetEdit, Qt::Key_Enter);
    EXPECT_EQ(Edit(kIdCommand)->text(), "-Custom");
    EXPECT_TRUE(window->isVisible());
}

// Audit finding: pressed on one row and released on another, the pressed row was remembered
// while the other was highlighted, and Remove Current Item removed the pressed one.
TEST_F(WindowFormTest, RowUnderThePointerAtReleaseIsRememberedAndHighlighted) {
    for (int i = 0; i < 3; ++i) Click(kIdAddItem);
    QWidget* viewport = List()->viewport();
    const auto centre = [&](int row) { return List()->visualRect(List()->model()->index(row, 0)).center(); };
    QTest::mousePress(viewport, Qt::LeftButton, {}, centre(0));
    QTest::mouseMove(viewport, centre(1));
    QTest::mouseMove(viewport, centre(2));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, centre(2));
    EXPECT_EQ(window->SelectedRow(), 2);
    EXPECT_EQ(HighlightedRow(), 2);

    Click(kIdRemoveCurrent);
    EXPECT_THAT(ShownNumbers(), ElementsAre("1", "2"));

    // Moving the highlight with the keys moves the row that Remove and Move act on.
    ClickRow(0);
    QTest::keyClick(List(), Qt::Key_Down);
    EXPECT_EQ(HighlightedRow(), 1);
    EXPECT_EQ(window->SelectedRow(), 1);
}

TEST_F(WindowFormTest, AddItemBuildsRowsFromCheckedBoxesOnly) {
    Type(kIdEventString, "ignored");  // read-only: typing does nothing
    Click(kIdAddItem);

    Click(kIdSetBit);
    Type(kIdBitNumber, "3");
    Choose(kIdBitState, 0);
    Click(kIdSendEvent);
    Type(kIdEventString, "Tone on");
    Click(kIdAddItem);

    Click(kIdSetBit);
    Click(kIdSendEvent);
    Click(kIdRandomDelay);
    Type(kIdDelayMin, "5");
    Type(kIdDelayMax, "10");
    Click(kIdAddItem);
    Type(kIdDelayMin, "100");
    Type(kIdDelayMax, "100");
    Click(kIdAddItem);

    const auto rows = window->Items().Rows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], (sequora::ItemRow{"1", "No", "NA", "No", "NA", "NA", "No", "NA", "0"}));
    EXPECT_EQ(rows[1], (sequora::ItemRow{"2", "Yes", "Tone on", "Yes", "3", "On", "No", "NA", "0"}));
    EXPECT_EQ(rows[2][sequora::kColDelay], "Random: 5-10");
    EXPECT_EQ(rows[3][sequora::kColDelay], "Random: 100-100");
    EXPECT_TRUE(prompter->Messages().empty());
    // The view shows what the list holds.
    EXPECT_EQ(List()->model()->index(1, sequora::kColEventString).data().toString(), "Tone on");

    Type(kIdDelayMin, "200");
    Click(kIdAddItem);
    EXPECT_THAT(prompter->Messages(),
                ElementsAre("Error, unable to add item, the delay range min value is greater "
                            "than the max value"));
    EXPECT_EQ(window->Items().RowCount(), 4);
}

TEST_F(WindowFormTest, RemoveAndMoveKeepNumbersWithTheirItems) {
    for (int i = 0; i < 3; ++i) Click(kIdAddItem);

    // Nothing remembered yet: the buttons do nothing.
    Click(kIdMoveUp);
    Click(kIdRemoveCurrent);
    EXPECT_THAT(ShownNumbers(), ElementsAre("1", "2", "3"));

    ClickRow(1);
    EXPECT_EQ(window->SelectedRow(), 1);
    Click(kIdMoveUp);
    EXPECT_THAT(ShownNumbers(), ElementsAre("2", "1", "3"));
    EXPECT_EQ(HighlightedRow(), 0);
    Click(kIdMoveUp);  // already the top row
    EXPECT_THAT(ShownNumbers(), ElementsAre("2", "1", "3"));
    Click(kIdMoveDown);
    Click(kIdMoveDown);
    EXPECT_THAT(ShownNumbers(), ElementsAre("1", "3", "2"));
    EXPECT_EQ(HighlightedRow(), 2);
    Click(kIdMoveDown);  // already the bottom row
    EXPECT_THAT(ShownNumbers(), ElementsAre("1", "3", "2"));

    ClickRow(0);
    Click(kIdRemoveCurrent);
    Click(kIdRemoveCurrent);  // the remembered row is gone: nothing more is removed
    EXPECT_THAT(ShownNumbers(), ElementsAre("3", "2"));
    EXPECT_EQ(HighlightedRow(), -1);
    Click(kIdAddItem);
    EXPECT_THAT(ShownNumbers(), ElementsAre("3", "2", "3"));

    // A click below the last row forgets the remembered row.
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, QPoint(10, List()->viewport()->height() - 5));
    EXPECT_EQ(window->SelectedRow(), -1);

    Click(kIdRemoveAll);
    EXPECT_TRUE(ShownNumbers().empty());
}

TEST_F(WindowFormTest, EnterChangesNothingAndEscapeCloses) {
    Click(kIdSendEvent);
    Type(kIdEventString, "x");
    QTest::keyClick(Edit(kIdEventString), Qt::Key_Return);
    QTest::keyClick(Button(kIdAddItem), Qt::Key_Enter);
    Click(kIdSendCommand);
    QTest::keyClick(Combo(kIdCommandOptions), Qt::Key_Return);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->Items().RowCount(), 0);
    EXPECT_EQ(Edit(kIdCommand)->text(), "");
    EXPECT_EQ(Combo(kIdCommandOptions)->count(), 5);

    QTest::keyClick(Edit(kIdEventString), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
}

}  // namespace
}  // namespace guitest
