// The window as a user starts it, on a real X server (Xvfb) against the stand-in server on
// the fixed ports: `sequora --server 127.0.0.1 --connect examples/demo.cfg`, then F5.
#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QTest>
#include <cstdlib>
#include <cstring>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "app/gui/SequoraDlg.h"
#include "app/gui/WindowCommandLine.h"
#include "galdera/GalderaServer.h"
#include "tests/support/FixedPorts.h"
#include "tests/support/TempDir.h"

extern char** environ;

namespace {

using ::testing::ElementsAre;
using ::testing::IsSupersetOf;
using namespace sequora::gui;

const char kXvfb[] = "/usr/bin/Xvfb";
const std::string kDemo = std::string(SEQUORA_SOURCE_DIR) + "/examples/demo.cfg";

// A private X server on a display number of its own choosing; stopped when destroyed.
class VirtualDisplay {
public:
    VirtualDisplay() {
        int ready[2];
        if (pipe(ready) != 0) return;
        const std::string fd = std::to_string(ready[1]);
        std::vector<std::string> args{kXvfb, "-displayfd", fd,  "-nolisten",
                                      "tcp", "-screen",    "0", "1280x1024x24"};
        std::vector<char*> argv;
        argv.reserve(args.size() + 1);
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawn(&mPid, kXvfb, nullptr, nullptr, argv.data(), environ) != 0) mPid = -1;
        close(ready[1]);
        // Xvfb writes its display number once it accepts clients.
        pollfd waiting{ready[0], POLLIN, 0};
        char number[16] = {};
        if (mPid > 0 && poll(&waiting, 1, 30000) == 1 && read(ready[0], number, sizeof number - 1) > 0) {
            mDisplay = ":" + std::string(number, std::strcspn(number, "\n"));
        }
        close(ready[0]);
    }
    ~VirtualDisplay() {
        if (mPid > 0) {
            kill(mPid, SIGTERM);
            waitpid(mPid, nullptr, 0);
        }
    }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    /// ":<n>", empty when the server did not come up.
    const std::string& Display() const { return mDisplay; }

private:
    pid_t mPid = -1;
    std::string mDisplay;
};

template <typename Condition>
bool WaitUntil(Condition condition, int patienceMs = 30000) {
    QDeadlineTimer deadline(patienceMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QTest::qWait(10);
    }
    return true;
}

TEST(WindowOnARealDisplay, ConnectsOpensTheDemoAndPlaysItWhenF5IsPressed) {
    if (access(kXvfb, X_OK) != 0) GTEST_SKIP() << "Xvfb is not installed";
    SKIP_WHEN_FIXED_PORTS_ARE_BUSY();
    galdera::GalderaServer server{galdera::ServerOptions{}};
    ASSERT_TRUE(server.Start());
    VirtualDisplay display;
    ASSERT_FALSE(display.Display().empty()) << "Xvfb did not start";

    testsupport::TempDir home;
    setenv("DISPLAY", display.Display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("XDG_CONFIG_HOME", home.File("config").c_str(), 1);
    setenv("XDG_DATA_HOME", home.File("data").c_str(), 1);
    int argc = 1;
    char name[] = "sequora";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");

    std::ostringstream out, err;
    const WindowCommandLine commandLine =
        ParseWindowCommandLine({"--server", "127.0.0.1", "--connect", kDemo}, out, err);
    ASSERT_TRUE(commandLine.options) << err.str();
    SequoraDlgOptions options;
    options.logFilePath = home.File("client.log");
    SequoraDlg window(std::move(options));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.ApplyStartOptions(*commandLine.options);
    ASSERT_TRUE(WaitUntil([&] { return !window.Connecting(); })) << "the connect never ends";
    ASSERT_TRUE(window.Connected()) << window.ConnectionStatus().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return !window.Loading(); })) << "the list never finishes loading";
    ASSERT_EQ(window.Items().RowCount(), 4);
    const std::size_t beforeRun = server.Received().size();

    // F5 reaches the window's shortcuts once the X server gives it the keyboard.
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_F5);
    ASSERT_TRUE(WaitUntil([&] { return window.RunStatus().startsWith("Completed 1 trial in "); }))
        << window.RunStatus().toStdString();

    std::vector<std::string> sent;
    const auto received = server.Received();
    for (std::size_t i = beforeRun; i < received.size(); ++i) sent.push_back(received[i].text);
    EXPECT_THAT(sent, ElementsAre("-StartRecording", " -PostEvent \"Tone on\" 0 0",
                                  "-SetDIOPortBits AcqSystem1 0 1", " -PostEvent \"Tone off\" 0 0",
                                  "-ResetDIOPortBits AcqSystem1 0 1", "-StopRecording"));
    // The closing box of the run, a real one on the display.
    QMessageBox* box = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* candidate = qobject_cast<QMessageBox*>(widget);
            if (candidate && candidate->isVisible()) box = candidate;
        }
        return box != nullptr;
    }));
    EXPECT_EQ(box->text(), "Trials Completed");
    box->done(QMessageBox::Ok);
}

}  // namespace
