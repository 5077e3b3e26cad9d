#include <QAbstractItemModelTester>
#include <QFileDialog>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTimer>
#include <atomic>
#include <thread>

#include "app/gui/DialogPrompter.h"
#include "app/gui/ItemListModel.h"
#include "app/gui/WindowThreadInvoker.h"
#include "tests/app/gui/GuiTestSupport.h"

namespace guitest {
namespace {

sequora::ItemCells Cells(const std::string& event) {
    return {"Yes", event, "No", "NA", "NA", "No", "NA", "0"};
}

class PlumbingTest : public ::testing::Test {
protected:
    QObject context;
};

TEST_F(PlumbingTest, ModelFollowsChangesOfTheListAndKeepsTheModelContract) {
    sequora::ItemList list;
    ItemListModel model(list);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);

    for (const char* event : {"a", "b", "c"}) list.AddItemRow(Cells(event));
    EXPECT_EQ(model.rowCount(), 3);
    list.SwapRows(0, 2);
    EXPECT_EQ(model.index(0, sequora::kColNumber).data().toString(), "3");
    EXPECT_EQ(model.index(2, sequora::kColEventString).data().toString(), "a");
    list.SetCellText(1, sequora::kColDelay, "Random: 1-2");
    EXPECT_EQ(model.index(1, sequora::kColDelay).data().toString(), "Random: 1-2");
    list.RemoveRow(1);
    EXPECT_EQ(model.rowCount(), 2);
    list.RemoveAll();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.headerData(4, Qt::Horizontal).toString(), "Bit #");
}

TEST_F(PlumbingTest, ModelReportsSplicesAndBatchesAsTheRowsTheyMoved) {
    sequora::ItemList list;
    for (const char* event : {"a", "b", "c", "d"}) list.AddItemRow(Cells(event));
    ItemListModel model(list);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    const auto events = [&] {
        std::vector<std::string> texts;
        for (int row = 0; row < model.rowCount(); ++row) {
            texts.push_back(model.index(row, sequora::kColEventString).data().toString().toStdString());
        }
        return texts;
    };

    // Two rows out of the middle: removed where they were, the rows after them unchanged.
    const std::vector<sequora::PackedRow> middle = list.Splice(1, 2, {});
    EXPECT_THAT(events(), ::testing::ElementsAre("a", "d"));
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed.at(0).at(1).toInt(), 1);
    EXPECT_EQ(removed.at(0).at(2).toInt(), 2);
    list.Splice(1, 0, middle);
    EXPECT_THAT(events(), ::testing::ElementsAre("a", "b", "c", "d"));
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted.at(0).at(1).toInt(), 1);
    EXPECT_EQ(changed.count(), 0) << "no row kept its place with other texts";

    // A batch: the last row changed and three rows appended are reported once, at its end.
    model.BeginBatch();
    list.SetCellText(3, sequora::kColEventString, "d2");
    for (const char* event : {"e", "f", "g"}) list.AddItemRow(Cells(event));
    EXPECT_EQ(model.rowCount(), 4);
    EXPECT_EQ(inserted.count(), 1);
    model.EndBatch();
    EXPECT_THAT(events(), ::testing::ElementsAre("a", "b", "c", "d2", "e", "f", "g"));
    ASSERT_EQ(inserted.count(), 2);
    EXPECT_EQ(inserted.at(1).at(1).toInt(), 4);
    EXPECT_EQ(inserted.at(1).at(2).toInt(), 6);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).value<QModelIndex>().row(), 3);
    EXPECT_EQ(changed.at(0).at(1).value<QModelIndex>().row(), 3);
}

TEST_F(PlumbingTest, ChangesFromAnotherThreadReachTheModelOnItsOwnThreadOnly) {
    sequora::ItemList list;
    ItemListModel model(list);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);

    std::thread writer([&] {
        for (int i = 0; i < 50; ++i) list.AddItemRow(Cells(std::to_string(i)));
    });
    writer.join();
    // Nothing has reached the model yet: the view must never be changed off its thread.
    EXPECT_EQ(model.rowCount(), 0);
    ASSERT_TRUE(WaitUntil([&] { return model.rowCount() == 50; }));
    EXPECT_EQ(model.index(49, sequora::kColEventString).data().toString(), "49");
    // Changes made before the refresh ran are taken in one go.
    EXPECT_LT(inserted.count(), 50);
}

TEST_F(PlumbingTest, InvokerRunsWorkOnTheWindowThreadAndWaitsForItsFinish) {
    WindowThreadInvoker invoker(&context);
    WindowThreadInvoker::Finish pendingFinish;
    std::atomic<bool> ranOnWindowThread{false};
    std::atomic<bool> returned{false};
    bool result = false;

    std::thread caller([&] {
        result = invoker.Call([&](WindowThreadInvoker::Finish finish) {
            ranOnWindowThread = QThread::currentThread() == context.thread();
            pendingFinish = std::move(finish);  // finished later, as a closing box would
        });
        returned = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return static_cast<bool>(pendingFinish); }));
    QTest::qWait(100);
    EXPECT_FALSE(returned) << "the caller went on before the work had finished";
    pendingFinish();
    ASSERT_TRUE(WaitUntil([&] { return returned.load(); }));
    caller.join();
    EXPECT_TRUE(result);
    EXPECT_TRUE(ranOnWindowThread);
}

TEST_F(PlumbingTest, ShutdownReleasesWaitersAndWithdrawnWorkNeverRuns) {
    WindowThreadInvoker invoker(&context);
    std::atomic<int> runs{0};

    // Given up before the window thread got to it: the work is withdrawn for good.
    bool withdrawnResult = true;
    std::thread impatient([&] {
        withdrawnResult = invoker.Call(
            [&](const WindowThreadInvoker::Finish& finish) {
                ++runs;
                finish();
            },
            [] { return true; });
    });
    impatient.join();  // returns without the window thread's help
    EXPECT_FALSE(withdrawnResult);
    QTest::qWait(50);
    EXPECT_EQ(runs, 0);

    // Begun but never finished: only the shutdown lets the caller go.
    std::atomic<bool> begun{false};
    bool stuckResult = true;
    std::thread stuck(
        [&] { stuckResult = invoker.Call([&](const WindowThreadInvoker::Finish&) { begun = true; }); });
    ASSERT_TRUE(WaitUntil([&] { return begun.load(); }));
    invoker.Shutdown();
    stuck.join();
    EXPECT_FALSE(stuckResult);
    EXPECT_FALSE(invoker.Call([&](const WindowThreadInvoker::Finish& finish) {
        ++runs;
        finish();
    }));
    EXPECT_EQ(runs, 0);
}

QList<QMessageBox*> OpenMessageBoxes() {
    QList<QMessageBox*> boxes;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box && box->isVisible()) boxes.append(box);
    }
    return boxes;
}

TEST_F(PlumbingTest, ModelessBoxesLeaveTheWindowFreeAndReportTheirClosing) {
    QWidget parent;
    parent.show();
    DialogPrompter prompter(&parent);
    int dismissed = 0;
    prompter.ShowMessageModeless("Trials Completed", [&] { ++dismissed; });
    prompter.ShowMessageModeless("Trials Completed", [&] { ++dismissed; });

    const QList<QMessageBox*> boxes = OpenMessageBoxes();
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_EQ(boxes[0]->text(), "Trials Completed");
    EXPECT_EQ(boxes[0]->standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(boxes[0]->icon(), QMessageBox::Warning);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    QTest::mouseClick(boxes[0]->button(QMessageBox::Ok), Qt::LeftButton);
    EXPECT_EQ(dismissed, 1);
    prompter.CloseModelessMessages();
    EXPECT_EQ(dismissed, 2);
    EXPECT_TRUE(WaitUntil([] { return OpenMessageBoxes().isEmpty(); }));
}

// Answers the file dialog that the prompter opens: types `path` once and accepts, then
// cancels if the dialog is still up; any question box on the way is noted and dismissed.
class FileDialogAnswer {
public:
    explicit FileDialogAnswer(QString path) : mPath(std::move(path)) {
        QObject::connect(&mTimer, &QTimer::timeout, [this] { Tick(); });
        mTimer.start(20);
    }

    QString title;
    QString folder;
    bool askedSomething = false;

private:
    void Tick() {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            askedSomething = true;
            box->done(QMessageBox::No);
        } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            if (mPicked) {
                dialog->reject();
                return;
            }
            title = dialog->windowTitle();
            folder = dialog->directory().absolutePath();
            // Typed into the name field, as the user would.
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (!name) return;
            name->setText(mPath);
            mPicked = true;
            // Queued, so that a question box the dialog opens meets the next tick.
            QMetaObject::invokeMethod(
                dialog, [dialog] { static_cast<QDialog*>(dialog)->accept(); }, Qt::QueuedConnection);
        }
    }

    QString mPath;
    bool mPicked = false;
    QTimer mTimer;
};

TEST_F(PlumbingTest, FileDialogsTakeNewNamesAndReplaceWithoutAsking) {
    QWidget parent;
    parent.show();
    DialogPrompter prompter(&parent);
    testsupport::TempDir dir;
    const QString missing = QString::fromStdString(dir.File("not-there.cfg"));
    const QString existing = QString::fromStdString(dir.File("old.cfg"));
    testsupport::WriteFile(existing.toStdString(), "old");
    const QString folder = QString::fromStdString(dir.Path());

    {
        FileDialogAnswer answer(missing);
        EXPECT_EQ(prompter.OpenFileName("Open list", "Lists (*.cfg*);;All Files (*.*)", folder), missing);
        EXPECT_EQ(answer.title, "Open list");
        EXPECT_EQ(answer.folder, folder);
        EXPECT_FALSE(answer.askedSomething);
    }
    {
        FileDialogAnswer answer(existing);
        EXPECT_EQ(prompter.SaveFileName("Save list", "Lists (*.cfg);;All Files (*.*)", folder), existing);
        EXPECT_EQ(answer.title, "Save list");
        EXPECT_FALSE(answer.askedSomething);
    }
    {
        FileDialogAnswer answer(QString::fromStdString(dir.File("bare")));
        EXPECT_EQ(prompter.SaveFileName("Save list", "Lists (*.cfg);;All Files (*.*)", {}),
                  QString::fromStdString(dir.File("bare.cfg")));
    }
}

}  // namespace
}  // namespace guitest
