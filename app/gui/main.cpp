#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "app/gui/Sequora.h"
#include "app/gui/TimingDialog.h"
#include "app/gui/WindowCommandLine.h"

int main(int argc, char** argv) {
    // Read before Qt starts, so that --help and bad usage need no display.
    const std::vector<std::string> args(argv + 1, argv + argc);
    const sequora::gui::WindowCommandLine commandLine =
        sequora::gui::ParseWindowCommandLine(args, std::cout, std::cerr);
    if (!commandLine.options) return commandLine.exitStatus;
    const sequora::gui::WindowOptions& options = *commandLine.options;

    const bool timing = !options.timing.empty();
    // Qt would abort with a message of its own; a timing picture needs no screen.
    if (!sequora::gui::HasDisplay()) {
        if (!timing) {
            std::cerr << sequora::gui::kNoDisplay << std::endl;
            return 2;
        }
        if (options.screenshot.empty()) {
            std::cerr << sequora::gui::NoDisplayLine(options.timing) << std::endl;
            return 2;
        }
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }

    int qtArgc = 1;
    sequora::gui::Sequora application(qtArgc, argv);
    if (timing) return sequora::gui::ShowJournalTiming(options.timing, options.screenshot, std::cerr);
    return options.screenshot.empty() ? application.Run(options) : application.RenderScreenshot(options);
}
