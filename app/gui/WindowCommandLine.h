#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace sequora::gui {

/// What the window's command line asks for.
struct WindowOptions {
    std::string server;              ///< --server NAME; empty: the remembered name or this computer's
    bool connect = false;            ///< --connect: connect once the window is open
    bool start = false;              ///< --start: start the run once the list is open and connected
    std::string file;                ///< FILE.cfg to open into the list; empty for none
    std::string screenshot;          ///< --screenshot FILE.png: render the window there and exit
    int screenshotAfterMs = 0;       ///< --screenshot-after MS: let the window work this long first
    std::string timing;              ///< --timing JOURNAL.tsv: show (or render) that run's timing instead
    std::optional<int> controlPort;  ///< --control PORT: serve the control API on 127.0.0.1:PORT
};

/// The outcome of reading the command line: the options, or the exit status to end with
/// (0 after --help, 2 for bad usage).
struct WindowCommandLine {
    std::optional<WindowOptions> options;  ///< set when the window is to be shown
    int exitStatus = 0;                    ///< the status to exit with when options is unset
};

/// The usage line printed with every complaint about the arguments.
inline constexpr const char kWindowUsage[] =
    "usage: sequora [--server NAME] [--connect] [--start] [--control PORT] [--screenshot FILE.png "
    "[--screenshot-after MS]] "
    "[FILE.cfg]\n       sequora --timing JOURNAL.tsv [--screenshot FILE.png]";

/// Reads the arguments after the program name. Help goes to `out`; a complaint about the
/// arguments, with the usage line, to `err`.
WindowCommandLine ParseWindowCommandLine(const std::vector<std::string>& args, std::ostream& out,
                                         std::ostream& err);

}  // namespace sequora::gui
