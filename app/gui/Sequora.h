#pragma once

#include <QApplication>
#include <QString>

namespace sequora::gui {

/// The application object: sets the program up and runs the main window until it closes.
class Sequora : public QApplication {
    Q_OBJECT
public:
    /// The arguments are Qt's own; they must outlive the application.
    Sequora(int& argc, char** argv);

    /// Shows the main window modally; returns the exit status when it has closed.
    int Run();
    /// Renders the main window as it looks right after start-up into a PNG file; returns
    /// the exit status (0 when the file was written).
    int RenderScreenshot(const QString& path);
};

}  // namespace sequora::gui
