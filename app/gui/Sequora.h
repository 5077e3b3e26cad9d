#pragma once

#include <QApplication>
#include <QString>

#include "app/gui/WindowCommandLine.h"

namespace sequora::gui {

/// The application object: sets the program up and runs the main window until it closes.
class Sequora : public QApplication {
    Q_OBJECT
public:
    /// The arguments are Qt's own; they must outlive the application.
    Sequora(int& argc, char** argv);

    /// Shows the main window modally, carrying out the command line once it is shown;
    /// returns the exit status when it has closed.
    int Run(const WindowOptions& options);
    /// Renders the main window as it looks right after start-up (the command line carried
    /// out), or options.screenshotAfterMs later, into the PNG file of options.screenshot;
    /// returns the exit status (0 when the file was written). Messages go to stderr.
    int RenderScreenshot(const WindowOptions& options);
};

}  // namespace sequora::gui
