#include <iostream>
#include <string>
#include <vector>

#include "app/cli/InterruptWatcher.h"
#include "app/cli/SequoraRun.h"

int main(int argc, char** argv) {
    // Before any thread exists, so that every thread leaves Ctrl-C to the watcher.
    sequora::cli::InterruptWatcher::BlockSignals();
    sequora::cli::InterruptWatcher watcher;
    const std::vector<std::string> args(argv + 1, argv + argc);
    return sequora::cli::SequoraRun(args, std::cout, std::cerr, &watcher);
}
