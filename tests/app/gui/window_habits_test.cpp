#include <QHeaderView>
#include <QSettings>
#include <QStatusBar>
#include <sstream>

#include "app/gui/WindowCommandLine.h"
#include "comlux/Version.h"
#include "tests/app/gui/GuiTestSupport.h"

namespace guitest {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

const std::string kWorkedExample = std::string(SEQUORA_SOURCE_DIR) + "/examples/worked_example.cfg";

using WindowHabitsTest = WindowTest;

TEST_F(WindowHabitsTest, ShortcutsPressTheirButtonsAndTheirToolTipsNameThem) {
    ConnectToStandIn();
    Type(kIdDelay, "60000");
    for (int i = 0; i < 3; ++i) Click(kIdAddItem);
    ClickRow(1);
    Button(kIdAddItem)->setFocus();
    const auto press = [&](QKeyCombination keys) {
        QTest::keyClick(Button(kIdAddItem), keys.key(), keys.keyboardModifiers());
    };

    press(Qt::ALT | Qt::Key_Up);
    EXPECT_TRUE(WaitUntil([&] { return ShownNumbers() == std::vector<std::string>{"2", "1", "3"}; }));
    press(Qt::ALT | Qt::Key_Down);
    EXPECT_TRUE(WaitUntil([&] { return ShownNumbers() == std::vector<std::string>{"1", "2", "3"}; }));
    press(QKeyCombination(Qt::Key_Delete));
    EXPECT_TRUE(WaitUntil([&] { return ShownNumbers() == std::vector<std::string>{"1", "3"}; }));
    press(QKeyCombination(Qt::Key_F5));
    EXPECT_TRUE(WaitUntil([&] { return window->Runner().Running(); }));
    press(Qt::SHIFT | Qt::Key_F5);
    EXPECT_TRUE(WaitUntil([&] { return !window->Runner().Running(); }));
    JoinWorkers();

    const std::string saved = dir.File("keys.cfg");
    prompter->QueueFile(QString::fromStdString(saved));
    press(Qt::CTRL | Qt::Key_S);
    EXPECT_TRUE(WaitUntil([&] { return !testsupport::ReadFile(saved).empty(); }));
    prompter->QueueFile(QString::fromStdString(saved));
    press(Qt::CTRL | Qt::Key_O);
    EXPECT_TRUE(WaitUntil([&] { return window->Items().RowCount() == 4; }));

    EXPECT_EQ(Button(kIdStart)->toolTip(), "Start (F5)");
    EXPECT_EQ(Button(kIdStop)->toolTip(), "Stop (Shift+F5)");
    EXPECT_EQ(Button(kIdRemoveCurrent)->toolTip(), "Remove Current Item (Del)");
    EXPECT_EQ(Button(kIdMoveUp)->toolTip(), "Move Item Up (Alt+Up)");
    EXPECT_EQ(Button(kIdOpenCfg)->toolTip(), "Open .cfg File (Ctrl+O)");
}

TEST_F(WindowHabitsTest, DeleteInAFieldDeletesTextNotTheItem) {
    Click(kIdAddItem);
    ClickRow(0);
    Type(kIdDelay, "25");
    Edit(kIdDelay)->setCursorPosition(0);
    QTest::keyClick(Edit(kIdDelay), Qt::Key_Delete);
    QTest::qWait(200);
    EXPECT_EQ(Edit(kIdDelay)->text(), "5");
    EXPECT_EQ(window->Items().RowCount(), 1);
}

TEST_F(WindowHabitsTest, SettingsAreRememberedFromOneWindowToTheNext) {
    Type(kIdServerName, "galdera-host");
    Type(kIdTrialCount, "4");
    Click(kIdRunContinuously);
    prompter->QueueFile(QString::fromStdString(kWorkedExample));
    Click(kIdOpenCfg);
    WaitForLoad();
    const QSize bigger = window->TemplateSize() + QSize(120, 80);
    window->resize(bigger);
    QTest::keyClick(Edit(kIdDelay), Qt::Key_Escape);
    ASSERT_FALSE(window->isVisible());

    MakeWindow();
    EXPECT_EQ(Edit(kIdServerName)->text(), "galdera-host");
    EXPECT_EQ(Edit(kIdTrialCount)->text(), "4");
    EXPECT_EQ(window->Runner().TrialCount(), 4);
    EXPECT_TRUE(Box(kIdRunContinuously)->isChecked());
    EXPECT_TRUE(window->Runner().RunContinuously());
    EXPECT_TRUE(Edit(kIdTrialCount)->isReadOnly());
    EXPECT_EQ(window->size(), bigger);
    Click(kIdOpenCfg);
    WaitForLoad();
    EXPECT_EQ(prompter->lastFolder, QString::fromStdString(std::string(SEQUORA_SOURCE_DIR) + "/examples"));

    const QSettings settings(SettingsPath(), QSettings::IniFormat);
    EXPECT_EQ(settings.value("journal/folder").toString(),
              QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")) + "/Sequora/journals");
    EXPECT_TRUE(settings.value("journal/enabled").toBool());
}

TEST_F(WindowHabitsTest, OnlyTheListGrowsWithTheWindowAndTheTemplateIsTheLeast) {
    EXPECT_EQ(window->minimumSize(), window->TemplateSize());
    EXPECT_EQ(window->size(), window->TemplateSize());
    const auto geometryOf = [&](int id) { return window->Control(id)->geometry(); };
    const QRect list = geometryOf(kIdItemList);
    const QRect add = geometryOf(kIdAddItem);
    const QRect start = geometryOf(kIdStart);
    const QRect count = geometryOf(kIdTrialCount);
    const QRect open = geometryOf(kIdOpenCfg);
    const QRect event = geometryOf(kIdEventString);

    window->resize(window->TemplateSize() + QSize(200, 100));
    QTest::qWait(10);
    EXPECT_EQ(geometryOf(kIdItemList), list.adjusted(0, 0, 200, 100));
    EXPECT_EQ(geometryOf(kIdAddItem), add);
    EXPECT_EQ(geometryOf(kIdEventString), event);
    EXPECT_EQ(geometryOf(kIdStart), start.translated(200, 100));
    EXPECT_EQ(geometryOf(kIdTrialCount), count.translated(0, 100));
    EXPECT_EQ(geometryOf(kIdOpenCfg), open.translated(0, 100));
    const QStatusBar* status = window->findChild<QStatusBar*>();
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->geometry().bottom(), window->height() - 1);
    EXPECT_GT(status->geometry().top(), geometryOf(kIdOpenCfg).bottom());
}

TEST_F(WindowHabitsTest, ColumnsAreWideEnoughForWhatTheyHold) {
    Click(kIdSendEvent);
    Type(kIdEventString, "A rather long event string that the template column cannot show");
    Click(kIdRandomDelay);
    Type(kIdDelayMin, "100000");
    Type(kIdDelayMax, "250000");
    Click(kIdAddItem);
    const QFontMetrics metrics(List()->font());
    for (int column : {sequora::kColEventString, sequora::kColDelay}) {
        const QString text = List()->model()->index(0, column).data().toString();
        EXPECT_GE(List()->header()->sectionSize(column), metrics.horizontalAdvance(text)) << column;
    }
    EXPECT_GE(List()->header()->sectionSize(sequora::kColNumber), 25);
}

TEST(WindowCommandLineTest, ReadsServerConnectFileScreenshotLogAndVersion) {
    std::ostringstream out, err;
    const auto parsed = ParseWindowCommandLine({"--server", "galdera", "--connect", "list.cfg"}, out, err);
    ASSERT_TRUE(parsed.options);
    EXPECT_EQ(parsed.options->server, "galdera");
    EXPECT_TRUE(parsed.options->connect);
    EXPECT_EQ(parsed.options->file, "list.cfg");
    EXPECT_EQ(parsed.options->screenshot, "");
    EXPECT_FALSE(parsed.options->start);

    const auto picture =
        ParseWindowCommandLine({"--start", "--screenshot", "w.png", "--screenshot-after", "1500"}, out, err);
    ASSERT_TRUE(picture.options);
    EXPECT_TRUE(picture.options->start);
    EXPECT_EQ(picture.options->screenshot, "w.png");
    EXPECT_EQ(picture.options->screenshotAfterMs, 1500);

    const auto plain = ParseWindowCommandLine({}, out, err);
    ASSERT_TRUE(plain.options);
    EXPECT_FALSE(plain.options->connect);
    EXPECT_EQ(plain.options->log, "");
    EXPECT_TRUE(err.str().empty());

    const auto logged = ParseWindowCommandLine({"--log", "client.log", "--", "--connect"}, out, err);
    ASSERT_TRUE(logged.options);
    EXPECT_EQ(logged.options->log, "client.log");
    EXPECT_FALSE(logged.options->connect) << "after --, an argument is a file";
    EXPECT_EQ(logged.options->file, "--connect");

    std::ostringstream versionOut;
    const auto version = ParseWindowCommandLine({"--version"}, versionOut, err);
    EXPECT_FALSE(version.options);
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(versionOut.str(), std::string("sequora ") + COMLUX_VERSION_STRING + "\n");
}

TEST(WindowCommandLineTest, BadUsageExitsTwoWithTheUsageAndHelpExitsZero) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--frobnicate"},
                                               {"--server"},
                                               {"a.cfg", "b.cfg"},
                                               {"--screenshot"},
                                               {"--screenshot", "w.png", "--screenshot-after", "-1"},
                                               {"--screenshot-after", "100"}}) {
        std::ostringstream out, err;
        const auto parsed = ParseWindowCommandLine(args, out, err);
        EXPECT_FALSE(parsed.options) << args.front();
        EXPECT_EQ(parsed.exitStatus, 2) << args.front();
        EXPECT_THAT(err.str(), HasSubstr("usage: sequora [--server NAME] [--connect]")) << args.front();
    }
    std::ostringstream out, err;
    const auto help = ParseWindowCommandLine({"--help"}, out, err);
    EXPECT_FALSE(help.options);
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_THAT(out.str(), HasSubstr("--connect"));
    EXPECT_TRUE(err.str().empty());
}

TEST_F(WindowHabitsTest, StartOptionsNameTheServerAndOpenTheList) {
    WindowOptions options;
    options.server = "10.1.2.3";
    options.file = kWorkedExample;
    window->ApplyStartOptions(options);
    WaitForLoad();
    EXPECT_EQ(Edit(kIdServerName)->text(), "10.1.2.3");
    EXPECT_EQ(window->Items().RowCount(), 2);
    EXPECT_EQ(window->windowTitle(), "Sequora \u2014 worked_example.cfg");
    EXPECT_FALSE(window->Connected());
}

}  // namespace
}  // namespace guitest
