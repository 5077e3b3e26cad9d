// The run timing report: the numbers the dialog shows for a hand-made journal, and the
// sequora executable rendering it with and without a display.
#include <QImage>
#include <QProcess>

#include "app/gui/TimingDialog.h"
#include "tests/app/gui/GuiTestSupport.h"

namespace guitest {
namespace {

const QString kSequora = QStringLiteral(SEQUORA_BIN_DIR "/sequora");

// Lateness 0.01, 0.02 and 1.5 ms; answers 0.1 ms each; one delay overrunning by 0.3 ms.
const char kJournal[] =
    "# sequora run journal\n"
    "# started 2026-12-09T22:10:00.123+01:00  server rig  file /lists/tone.cfg  seed 42  trials 1\n"
    "trial\trow\taction\ttext\tdue_ms\tsent_ms\tanswered_ms\tstatus\n"
    "1\t1\tevent\t -PostEvent \"A\" 0 0\t0.000\t0.010\t0.110\tok\n"
    "1\t1\tdelay\t5\t0.110\t5.410\t\tok\n"
    "1\t2\tcommand\t-X\t5.410\t5.430\t5.530\tok\n"
    "1\t3\tbit\t-SetDIOPortBits AcqSystem1 0 8\t5.530\t7.030\t7.130\tok\n";
const char kEnded[] = "# ended completed  after 7.130 ms\n";

struct Outcome {
    int status = -1;
    QString errors;
};

Outcome RunSequora(const QStringList& arguments, bool display) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) environment.remove(name);
    if (display) environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.start(kSequora, arguments);
    Outcome outcome;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return outcome;
    }
    outcome.errors = QString::fromLocal8Bit(process.readAllStandardError());
    if (process.exitStatus() == QProcess::NormalExit) outcome.status = process.exitCode();
    return outcome;
}

class TimingDialogTest : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    const std::string journal = dir.File("run.tsv");
    const QString journalArg = QString::fromStdString(journal);
    const QString picture = QString::fromStdString(dir.File("timing.png"));
};

TEST_F(TimingDialogTest, TheDialogNamesTheRunAndShowsEachMeasuresFigures) {
    testsupport::WriteFile(journal, std::string(kJournal) + kEnded);
    TimingDialog dialog(sequora::ReadSavedJournal(journal), journalArg);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_FALSE(dialog.grab().isNull());
    EXPECT_EQ(dialog.windowTitle(), "Run timing");
    EXPECT_EQ(
        dialog.Caption(),
        "seed 42 \u00b7 server rig \u00b7 file /lists/tone.cfg \u00b7 started 2026-12-09T22:10:00.123+01:00");
    EXPECT_EQ(dialog.Figures("lateness"),
              "median 0.02 ms \u00b7 p99 1.5 ms \u00b7 max 1.5 ms \u00b7 3 commands");
    EXPECT_EQ(dialog.Figures("answer"), "median 0.1 ms \u00b7 p99 0.1 ms \u00b7 max 0.1 ms \u00b7 3 answers");
    EXPECT_EQ(dialog.Figures("overshoot"),
              "median 0.3 ms \u00b7 p99 0.3 ms \u00b7 max 0.3 ms \u00b7 1 delays");
}

TEST_F(TimingDialogTest, TheExecutableRendersAJournalCutShortAndSaysSo) {
    testsupport::WriteFile(journal, kJournal);
    const Outcome rendered =
        RunSequora({QStringLiteral("--timing"), journalArg, QStringLiteral("--screenshot"), picture}, false);
    EXPECT_EQ(rendered.status, 0) << rendered.errors.toStdString();
    EXPECT_TRUE(rendered.errors.contains(QStringLiteral("is cut short: it stops after line 7")))
        << rendered.errors.toStdString();
    EXPECT_FALSE(QImage(picture).isNull()) << "no display is needed for a picture";

    const Outcome shown = RunSequora({QStringLiteral("--timing"), journalArg}, false);
    EXPECT_EQ(shown.status, 2);
    EXPECT_EQ(shown.errors.trimmed().toStdString(), sequora::gui::NoDisplayLine(journal));

    const Outcome missing =
        RunSequora({QStringLiteral("--timing"), QString::fromStdString(dir.File("none.tsv")),
                    QStringLiteral("--screenshot"), picture},
                   true);
    EXPECT_EQ(missing.status, 2);
    EXPECT_TRUE(missing.errors.contains(QStringLiteral("sequora: cannot read ")))
        << missing.errors.toStdString();
}

}  // namespace
}  // namespace guitest
