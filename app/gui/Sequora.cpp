#include "app/gui/Sequora.h"

#include <QEventLoop>
#include <QPixmap>
#include <QTimer>
#include <iostream>

#include "app/gui/ConsolePrompter.h"
#include "app/gui/SequoraDlg.h"
#include "comlux/Version.h"

namespace sequora::gui {

Sequora::Sequora(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Sequora"));
    setApplicationDisplayName(QStringLiteral("Sequora"));
    setApplicationVersion(QStringLiteral(COMLUX_VERSION_STRING));
}

int Sequora::Run(const WindowOptions& options) {
    SequoraDlgOptions windowOptions;
    windowOptions.logFilePath = options.log;
    SequoraDlg window(std::move(windowOptions));
    // Once the window is up, so that its boxes have a window to stand over.
    QTimer::singleShot(0, &window, [&window, &options] { window.ApplyStartOptions(options); });
    window.exec();
    return 0;
}

int Sequora::RenderScreenshot(const WindowOptions& options) {
    // A box would wait for a click that never comes: what the window has to say goes to stderr.
    SequoraDlgOptions windowOptions;
    windowOptions.prompter = std::make_unique<ConsolePrompter>(std::cerr);
    windowOptions.logFilePath = options.log;
    SequoraDlg window(std::move(windowOptions));
    window.show();
    window.ApplyStartOptions(options);
    // The picture shows the whole list and the connect's outcome: the window reads the one
    // between turns of the event loop and hears of the other through it.
    while (window.Loading() || window.Connecting()) processEvents(QEventLoop::WaitForMoreEvents);
    processEvents();
    if (options.screenshotAfterMs > 0) {
        QEventLoop working;
        QTimer::singleShot(options.screenshotAfterMs, &working, &QEventLoop::quit);
        working.exec();
    }
    const QString path = QString::fromLocal8Bit(options.screenshot);
    if (!window.grab().save(path, "PNG")) {
        std::cerr << "sequora: cannot write " << options.screenshot << std::endl;
        return 1;
    }
    return 0;
}

}  // namespace sequora::gui
