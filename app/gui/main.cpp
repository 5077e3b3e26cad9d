#include <iostream>
#include <string>
#include <vector>

#include "app/gui/Sequora.h"
#include "app/gui/WindowCommandLine.h"

int main(int argc, char** argv) {
    // Read before Qt starts, so that --help and bad usage need no display.
    const std::vector<std::string> args(argv + 1, argv + argc);
    const sequora::gui::WindowCommandLine commandLine =
        sequora::gui::ParseWindowCommandLine(args, std::cout, std::cerr);
    if (!commandLine.options) return commandLine.exitStatus;
    // Qt would abort with a message of its own.
    if (!sequora::gui::HasDisplay()) {
        std::cerr << sequora::gui::kNoDisplay << std::endl;
        return 2;
    }

    int qtArgc = 1;
    sequora::gui::Sequora application(qtArgc, argv);
    const sequora::gui::WindowOptions& options = *commandLine.options;
    return options.screenshot.empty() ? application.Run(options) : application.RenderScreenshot(options);
}
