#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace sequora::cli {

class InterruptWatcher;

/// Exit statuses of sequora-run.
enum ExitStatus : int {
    kExitDone = 0,              ///< trials completed or stopped by Ctrl-C, or list/save done
    kExitConnectionFailed = 1,  ///< also: Ctrl-C while connecting, or the worker could not be started
    kExitBadUsage = 2,          ///< also: FILE.cfg cannot be read, an output path is refused or unwritable
    kExitRunFailed = 3,         ///< a command could not be sent or answered, or a bit may still be on
    kExitReadInPart = 4,        ///< FILE.cfg was read only in part
    kExitJournalIncomplete = 5  ///< the run ended as asked, but its journal stopped early
};

/// sequora-run as a whole: parses `args` (without the program name), then lists, saves
/// or runs. `watcher` delivers Ctrl-C; it may be null (nothing interrupts then).
int SequoraRun(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               InterruptWatcher* watcher);

}  // namespace sequora::cli
