#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace sequora::cli {

class InterruptWatcher;

/// Exit statuses of sequora-run.
enum ExitStatus : int {
    kExitDone = 0,             ///< trials completed, or list/save done
    kExitConnectionFailed = 1,
    kExitBadUsage = 2,         ///< also: FILE.cfg cannot be read
    kExitInterrupted = 130     ///< Ctrl-C stopped the run before its trials were done
};

/// sequora-run as a whole: parses `args` (without the program name), then lists, saves
/// or runs. `watcher` delivers Ctrl-C; it may be null (nothing interrupts then).
int SequoraRun(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               InterruptWatcher* watcher);

}  // namespace sequora::cli
