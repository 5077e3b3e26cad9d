#pragma once

#include <string>
#include <vector>

#include "galdera/GalderaServer.h"

namespace galdera {

/// What the galdera-sim command line asks for.
struct SimCommandLine {
    ServerOptions options;  ///< echo left unset; the caller decides where commands go
    bool quiet = false;     ///< --quiet: print nothing per command
    bool help = false;      ///< --help: print the usage and exit
};

/// The usage text of galdera-sim.
std::string UsageText();
/// Parses the arguments after the program name; false with `error` set on bad usage or an
/// unreadable objects file.
bool ParseCommandLine(const std::vector<std::string>& arguments, SimCommandLine& result, std::string& error);

}  // namespace galdera
