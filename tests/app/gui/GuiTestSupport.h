#pragma once

// Shared by the window tests: a QApplication on the offscreen platform, a prompter that
// answers instead of the user, and a fixture holding one shown window.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTreeView>
#include <atomic>
#include <chrono>
#include <deque>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/gui/DialogTemplate.h"
#include "app/gui/Prompter.h"
#include "app/gui/SequoraDlg.h"
#include "galdera/GalderaServer.h"
#include "tests/support/StandIn.h"
#include "tests/support/TempDir.h"

namespace guitest {

using namespace sequora::gui;

/// True in the build under AddressSanitizer, where the window's work takes several times
/// as long.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SEQUORA_TEST_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(SEQUORA_TEST_SANITIZED)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif

/// Runs the event loop until `condition` holds; false if it still fails after the
/// patience (generous: it only bounds a hang, it measures nothing).
template <typename Condition>
bool WaitUntil(Condition condition, int patienceMs = 20000) {
    QDeadlineTimer deadline(patienceMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QTest::qWait(5);
    }
    return true;
}

/// Creates the one QApplication of the test process on the offscreen platform.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // Nothing a test does may reach the user's own settings or journals.
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(mHome.File("config")));
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(mHome.File("data")));
        static int argc = 1;
        static char name[] = "sequora_gui_test";
        static char* argv[] = {name, nullptr};
        mApplication = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { mApplication.reset(); }

private:
    testsupport::TempDir mHome;
    std::unique_ptr<QApplication> mApplication;
};

inline ::testing::Environment* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

/// Answers the window's boxes and file dialogs and records what it was shown. Every call
/// must arrive on the window thread; a call from another thread is recorded as a fault.
class TestPrompter : public Prompter {
public:
    void ShowMessage(const QString& text) override {
        NoteThread();
        std::lock_guard guard(mLock);
        mMessages.push_back(text.toStdString());
    }
    void ShowMessageModeless(const QString& text, std::function<void()> dismissed) override {
        NoteThread();
        {
            std::lock_guard guard(mLock);
            mMessages.push_back(text.toStdString());
        }
        if (autoDismiss) {
            dismissed();
        } else {
            mOpenBoxes.push_back(std::move(dismissed));
        }
    }
    void CloseModelessMessages() override {
        NoteThread();
        DismissOpenBoxes();
    }
    QString OpenFileName(const QString& title, const QString& filter, const QString& folder) override {
        return NextFile(title, filter, folder);
    }
    QString SaveFileName(const QString& title, const QString& filter, const QString& folder) override {
        return NextFile(title, filter, folder);
    }
    UnsavedChoice AskUnsavedChanges(const QString& text) override {
        NoteThread();
        questions.push_back(text.toStdString());
        return unsavedAnswer;
    }
    bool AskStopRunAndClose(const QString& text) override {
        NoteThread();
        questions.push_back(text.toStdString());
        return stopAndClose;
    }
    bool AskStopRunAndDisconnect(const QString& text) override {
        NoteThread();
        questions.push_back(text.toStdString());
        return stopAndDisconnect;
    }

    /// Closes the modeless boxes still open, as the user's OK would.
    void DismissOpenBoxes() {
        auto boxes = std::move(mOpenBoxes);
        mOpenBoxes.clear();
        for (auto& dismissed : boxes) dismissed();
    }
    /// Number of modeless boxes still open.
    std::size_t OpenBoxes() const { return mOpenBoxes.size(); }
    /// Every message shown so far.
    std::vector<std::string> Messages() const {
        std::lock_guard guard(mLock);
        return mMessages;
    }
    /// The answer of the next file dialog ("" cancels).
    void QueueFile(const QString& path) { mFiles.push_back(path); }

    /// The title, filter and starting folder of the last file dialog.
    QString lastTitle, lastFilter, lastFolder;
    /// Every question asked (unsaved list, run under way), in order.
    std::vector<std::string> questions;
    /// The answer to the question about an unsaved list.
    UnsavedChoice unsavedAnswer = UnsavedChoice::Discard;
    /// The answer to the question about stopping a run to close.
    bool stopAndClose = true;
    /// The answer to the question about stopping a run to disconnect.
    bool stopAndDisconnect = true;
    /// Closes modeless boxes at once when set.
    bool autoDismiss = true;
    /// Set when any call came from a thread other than the window's.
    std::atomic<bool> calledOffWindowThread{false};

private:
    void NoteThread() {
        if (QThread::currentThread() != qApp->thread()) calledOffWindowThread = true;
    }
    QString NextFile(const QString& title, const QString& filter, const QString& folder) {
        NoteThread();
        lastTitle = title;
        lastFilter = filter;
        lastFolder = folder;
        if (mFiles.empty()) return {};
        QString path = mFiles.front();
        mFiles.pop_front();
        return path;
    }

    mutable std::mutex mLock;
    std::vector<std::string> mMessages;
    std::vector<std::function<void()>> mOpenBoxes;
    std::deque<QString> mFiles;
};

/// One shown main window with a test prompter and a log file in a temporary directory.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { MakeWindow(); }
    void TearDown() override {
        // The prompter goes with the window (a test may have destroyed both).
        const bool offThread = window && prompter->calledOffWindowThread;
        window.reset();
        standIn.reset();
        EXPECT_FALSE(offThread) << "a box or dialog was opened off the window thread";
    }

    /// Starts a stand-in server on free loopback ports and connects the window to it, as a
    /// run needs.
    void ConnectToStandIn() {
        standIn = testsupport::StartStandIn();
        ASSERT_NE(standIn, nullptr);
        window->Client().SetPorts(standIn->HandoutPort(), standIn->CommandPort());
        Edit(kIdServerName)->setText(QStringLiteral("127.0.0.1"));
        ClickConnect();
        ASSERT_TRUE(window->Connected());
    }

    void MakeWindow(sequora::RunClock* clock = nullptr) {
        auto owned = std::make_unique<TestPrompter>();
        prompter = owned.get();
        SequoraDlgOptions options;
        options.prompter = std::move(owned);
        options.logFilePath = LogPath();
        options.clock = clock;
        options.settingsPath = SettingsPath();
        options.loadPausePerLine = loadPausePerLine;
        window = std::make_unique<SequoraDlg>(std::move(options));
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    std::string LogPath() const { return dir.File("client.log"); }
    QString SettingsPath() const { return QString::fromStdString(dir.File("settings.ini")); }

    QLineEdit* Edit(int id) const { return window->ControlAs<QLineEdit>(id); }
    QCheckBox* Box(int id) const { return window->ControlAs<QCheckBox>(id); }
    QComboBox* Combo(int id) const { return window->ControlAs<QComboBox>(id); }
    QPushButton* Button(int id) const { return window->ControlAs<QPushButton>(id); }
    QTreeView* List() const { return window->ControlAs<QTreeView>(kIdItemList); }

    /// Clicks a control in its middle, as the user would.
    void Click(int id) const { QTest::mouseClick(window->Control(id), Qt::LeftButton); }
    /// Clicks Connect/Disconnect and waits until the connection has done what it began.
    void ClickConnect() const {
        Click(kIdConnect);
        EXPECT_TRUE(WaitUntil([this] { return !window->ConnectionBusy(); }))
            << "the connection never settles";
    }
    /// Replaces an edit's text by typing.
    void Type(int id, const QString& text) const {
        Edit(id)->selectAll();
        Edit(id)->clear();
        QTest::keyClicks(Edit(id), text);
    }
    /// Waits for the .cfg file being opened to be read to its end, as a user waits for the
    /// rows to appear.
    void WaitForLoad() const {
        EXPECT_TRUE(WaitUntil([&] { return !window->Loading(); })) << "a load never ends";
    }
    /// Waits for every trial worker to end while the window keeps serving their calls.
    void JoinWorkers() const {
        std::atomic<bool> joined{false};
        std::thread joiner([&] {
            window->Runner().WaitForWorkers();
            joined = true;
        });
        EXPECT_TRUE(WaitUntil([&] { return joined.load(); })) << "a trial worker does not end";
        joiner.join();
    }
    /// Chooses an entry of a combo's drop-down list with the mouse.
    void Choose(int id, int entry) const {
        QComboBox* combo = Combo(id);
        combo->showPopup();
        QAbstractItemView* popup = combo->view();
        QTest::mouseClick(popup->viewport(), Qt::LeftButton, {},
                          popup->visualRect(popup->model()->index(entry, 0)).center());
    }
    /// Clicks the given row of the item list.
    void ClickRow(int row) const {
        QTreeView* view = List();
        const QRect rect = view->visualRect(view->model()->index(row, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
    }
    /// The "#" texts of the list as the view shows them.
    std::vector<std::string> ShownNumbers() const {
        std::vector<std::string> numbers;
        const QAbstractItemModel* model = List()->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            numbers.push_back(model->index(row, 0).data().toString().toStdString());
        }
        return numbers;
    }
    /// The row the view highlights, -1 for none.
    int HighlightedRow() const {
        const QModelIndexList rows = List()->selectionModel()->selectedRows();
        return rows.size() == 1 ? rows.front().row() : -1;
    }

    testsupport::TempDir dir;
    /// The wait before each command line of a file being opened, for the windows made next.
    std::chrono::milliseconds loadPausePerLine{20};
    TestPrompter* prompter = nullptr;
    std::unique_ptr<SequoraDlg> window;
    std::unique_ptr<galdera::GalderaServer> standIn;
};

}  // namespace guitest
