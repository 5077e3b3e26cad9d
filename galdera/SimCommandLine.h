#pragma once

#include <string>
#include <vector>

#include "galdera/GalderaServer.h"

namespace galdera {

/// What the galdera-sim command line asks for.
struct SimCommandLine {
    ServerOptions options;  ///< echo left unset; the caller decides where commands go
    bool quiet = false;     ///< --quiet: print nothing per command
    bool help = false;      ///< --help: print the help text and exit
    bool version = false;   ///< --version: print VersionText() and exit
};

/// Either the command line or the reason it cannot be used.
struct SimParseResult {
    bool ok = false;
    SimCommandLine commandLine;
    std::string error;  ///< one line, set when !ok
};

/// The help text generated from the options: what the program is, a synopsis, one line per option.
std::string HelpText();
/// "galdera-sim <version>" and a line end.
std::string VersionText();
/// Parses the arguments after the program name; not ok on bad usage or an unreadable objects file.
SimParseResult ParseCommandLine(const std::vector<std::string>& arguments);

}  // namespace galdera
