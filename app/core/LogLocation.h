#pragma once

#include <string>

namespace sequora {

/// The client log's file name, the same in every folder.
inline constexpr char kLogFileName[] = "Sequora Comlux Client Log File.txt";

/// What decides where the client log goes.
struct LogPlace {
    std::string executableFolder;  ///< the running program's folder, without a trailing '/'
    bool folderWritable = false;   ///< whether the user may write into that folder
    std::string stateHome;         ///< $XDG_STATE_HOME as set (empty when unset)
    std::string home;              ///< the user's home folder
};

/// The folder the client log goes into, ending with '/'. Beside the program, unless the
/// program is installed in a system folder (under /usr or /opt) or the user cannot write
/// beside it: then $XDG_STATE_HOME/Sequora/ (a relative $XDG_STATE_HOME counts as unset),
/// by default ~/.local/state/Sequora/. Empty when neither a usable folder nor a home is known.
std::string LogFolderFor(const LogPlace& place);

/// The client log's path for this process when no --log names one, its folder created as
/// needed; empty when there is nowhere to write it (the program then runs without a log).
std::string DefaultLogFilePath();

}  // namespace sequora
