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
    std::string log;                 ///< --log PATH: the client log; empty for the default place
    std::string screenshot;          ///< --screenshot FILE.png: render the window there and exit
    int screenshotAfterMs = 0;       ///< --screenshot-after MS: let the window work this long first
    std::string timing;              ///< --timing JOURNAL.tsv: show (or render) that run's timing instead
    std::optional<int> controlPort;  ///< --control PORT: serve the control API on 127.0.0.1:PORT
};

/// The outcome of reading the command line: the options, or the exit status to end with
/// (0 after --help or --version, 2 for bad usage).
struct WindowCommandLine {
    std::optional<WindowOptions> options;  ///< set when the window is to be shown
    int exitStatus = 0;                    ///< the status to exit with when options is unset
};

/// The usage line printed with every complaint about the arguments.
inline constexpr const char kWindowUsage[] =
    "usage: sequora [--server NAME] [--connect] [--start] [--log PATH] [--control PORT] "
    "[--screenshot FILE.png [--screenshot-after MS]] [--] [FILE.cfg]\n"
    "       sequora --timing JOURNAL.tsv [--screenshot FILE.png]";

/// What the window says, before exiting with status 2, when there is no display to open on.
inline constexpr const char kNoDisplay[] =
    "sequora: no display; set DISPLAY or use --screenshot with QT_QPA_PLATFORM=offscreen";

/// Whether Qt has somewhere to show the window: an X or Wayland display, or a platform
/// chosen with QT_QPA_PLATFORM (offscreen among them). Reads the environment.
bool HasDisplay();

/// Reads the arguments after the program name. Help goes to `out`; a complaint about the
/// arguments, with the usage line, to `err`.
WindowCommandLine ParseWindowCommandLine(const std::vector<std::string>& args, std::ostream& out,
                                         std::ostream& err);

}  // namespace sequora::gui
