#include <QFile>
#include <QImage>
#include <QProcess>
#include <cstdio>

#include "app/core/RunMessages.h"
#include "tests/app/gui/GuiTestSupport.h"

namespace guitest {
namespace {

const QString kSequora = QStringLiteral(SEQUORA_BIN_DIR "/sequora");

int RunSequora(const QStringList& arguments, QString* errors = nullptr,
               const QString& workingDirectory = {}) {
    QProcess process;
    if (!workingDirectory.isEmpty()) process.setWorkingDirectory(workingDirectory);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.start(kSequora, arguments);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (errors) *errors = QString::fromLocal8Bit(process.readAllStandardError());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

TEST(SequoraExecutableTest, ScreenshotRendersTheStartUpWindowAndExits) {
    testsupport::TempDir dir;
    const QString picture = QString::fromStdString(dir.File("window.png"));
    const std::string logName = "Sequora Comlux Client Log File.txt";
    const std::string besideExecutable = std::string(SEQUORA_BIN_DIR) + "/" + logName;
    std::remove(besideExecutable.c_str());
    ASSERT_EQ(
        RunSequora({QStringLiteral("--screenshot"), picture}, nullptr, QString::fromStdString(dir.Path())),
        0);
    // The log lies beside the executable, not in the working directory.
    EXPECT_FALSE(QFile::exists(QString::fromStdString(dir.File(logName))));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(besideExecutable)));

    const QImage image(picture);
    ASSERT_FALSE(image.isNull());
    SequoraDlgOptions options;
    options.logFilePath = dir.File("client.log");
    const SequoraDlg window(std::move(options));
    EXPECT_EQ(image.size(), window.size());
}

TEST(SequoraExecutableTest, APictureOfARefusedStartNamesTheRefusalInsteadOfWaitingForAClick) {
    testsupport::TempDir dir;
    const QString picture = QString::fromStdString(dir.File("window.png"));
    QString errors;
    ASSERT_EQ(RunSequora({QStringLiteral("--start"), QStringLiteral("--screenshot"), picture,
                          QStringLiteral(SEQUORA_SOURCE_DIR "/examples/demo.cfg")},
                         &errors, QString::fromStdString(dir.Path())),
              0);
    EXPECT_TRUE(errors.contains(QString::fromLatin1(sequora::run_messages::kStartNeedsConnection)))
        << errors.toStdString();
    EXPECT_FALSE(QImage(picture).isNull());
}

TEST(SequoraExecutableTest, UnknownArgumentsAndAnUnwritablePictureFail) {
    QString errors;
    EXPECT_EQ(RunSequora({QStringLiteral("--frobnicate")}, &errors), 2);
    EXPECT_TRUE(errors.contains(QStringLiteral("usage: sequora")));
    EXPECT_EQ(RunSequora({QStringLiteral("--screenshot"), QStringLiteral("/nonexistent/dir/w.png")}), 1);
}

}  // namespace
}  // namespace guitest
