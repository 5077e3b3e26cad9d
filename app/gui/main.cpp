#include <cstring>
#include <iostream>

#include "app/gui/Sequora.h"

namespace {

void PrintUsage() {
    std::cerr << "usage: sequora [--screenshot FILE.png]" << std::endl;
}

}  // namespace

int main(int argc, char** argv) {
    sequora::gui::Sequora application(argc, argv);
    // Qt has taken its own options out of argv by now.
    if (argc == 1) return application.Run();
    if (argc == 3 && std::strcmp(argv[1], "--screenshot") == 0) {
        return application.RenderScreenshot(QString::fromLocal8Bit(argv[2]));
    }
    PrintUsage();
    return 2;
}
