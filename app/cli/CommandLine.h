#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sequora::cli {

/// What sequora-run was asked to do.
enum class Mode { Run, List, Save, Report, Help, Version };

/// The parsed command line of sequora-run.
struct Options {
    Mode mode = Mode::Run;
    std::string server;                        ///< empty: this computer's name
    int trials = 1;                            ///< trials to play unless `continuous`
    bool continuous = false;                   ///< repeat until interrupted
    std::optional<std::uint32_t> seed;         ///< the run's random seed; none: taken from the clock
    std::string journalPath;                   ///< empty: no run journal
    bool partial = false;                      ///< run a list that was read only in part
    std::string logPath;                       ///< empty: the default place (DefaultLogFilePath)
    std::string cfgPath;                       ///< the item list to run, list or save; "-": standard input
    std::string outPath;                       ///< --save's output file
    std::string reportPath;                    ///< --report's journal
    std::optional<int> controlPort;            ///< --control [ADDR:]PORT: serve the control API
    std::string controlAddress = "127.0.0.1";  ///< the control API's address
    bool wait = false;                         ///< --wait: the first trial waits for POST /start
    std::string controlTokenPath;              ///< --control-token FILE
};

/// Either the options or the reason the command line is unusable.
struct ParseResult {
    bool ok = false;
    Options options;
    std::string error;  ///< one line, set when !ok
};

/// Parses the arguments after the program name.
ParseResult ParseCommandLine(const std::vector<std::string>& args);

/// The short usage text shown after a usage error, several lines ending with a line end.
std::string UsageText();

/// The full help (--help): the usage, then every option with its description.
std::string HelpText();

/// "sequora-run <version>" and a line end (--version).
std::string VersionText();

}  // namespace sequora::cli
