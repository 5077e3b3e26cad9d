#include "app/gui/Sequora.h"

#include <QPixmap>
#include <iostream>

#include "app/gui/SequoraDlg.h"

namespace sequora::gui {

Sequora::Sequora(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Sequora"));
    setApplicationDisplayName(QStringLiteral("Sequora"));
    setApplicationVersion(QStringLiteral("2.00"));
}

int Sequora::Run() {
    SequoraDlg window;
    window.exec();
    return 0;
}

int Sequora::RenderScreenshot(const QString& path) {
    SequoraDlg window;
    window.show();
    processEvents();
    if (!window.grab().save(path, "PNG")) {
        std::cerr << "sequora: cannot write " << path.toLocal8Bit().constData() << std::endl;
        return 1;
    }
    return 0;
}

}  // namespace sequora::gui
