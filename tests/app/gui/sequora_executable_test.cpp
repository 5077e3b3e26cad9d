#include <QImage>
#include <QProcess>

#include "GuiTestSupport.h"

namespace guitest {
namespace {

const QString kSequora = QStringLiteral(SEQUORA_BIN_DIR "/sequora");

int RunSequora(const QStringList& arguments, QString* errors = nullptr) {
    QProcess process;
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
    ASSERT_EQ(RunSequora({QStringLiteral("--screenshot"), picture}), 0);

    const QImage image(picture);
    ASSERT_FALSE(image.isNull());
    SequoraDlgOptions options;
    options.logFilePath = dir.File("client.log");
    const SequoraDlg window(std::move(options));
    EXPECT_EQ(image.size(), window.size());
}

TEST(SequoraExecutableTest, UnknownArgumentsAndAnUnwritablePictureFail) {
    QString errors;
    EXPECT_EQ(RunSequora({QStringLiteral("--frobnicate")}, &errors), 2);
    EXPECT_TRUE(errors.contains(QStringLiteral("usage: sequora")));
    EXPECT_EQ(RunSequora({QStringLiteral("--screenshot"), QStringLiteral("/nonexistent/dir/w.png")}), 1);
}

}  // namespace
}  // namespace guitest
