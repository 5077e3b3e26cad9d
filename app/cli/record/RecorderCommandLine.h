#pragma once

#include <optional>
#include <string>
#include <vector>

namespace sequora::record {

/// What comlux-record was asked to do.
struct RecorderOptions {
    std::string server;                ///< empty: this computer's name
    std::optional<double> seconds;     ///< how long to record; none: until Ctrl-C
    std::string outPath;               ///< empty: standard output
    std::string logPath;               ///< the client log; empty: none is written
    std::vector<std::string> objects;  ///< the server objects whose streams are recorded
};

/// The outcome of reading the command line.
struct RecorderCommandLine {
    /// Help: print `text` and exit 0 (--help, --version).
    enum class Outcome { Record, Help, BadUsage };
    Outcome outcome = Outcome::BadUsage;
    RecorderOptions options;  ///< set for Record
    std::string text;         ///< the help or version (Help), or the one-line complaint (BadUsage)
};

/// Reads the arguments after the program name.
RecorderCommandLine ParseRecorderCommandLine(const std::vector<std::string>& args);

}  // namespace sequora::record
