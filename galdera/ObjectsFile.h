#pragma once

#include <istream>
#include <string>
#include <vector>

#include "galdera/GalderaServer.h"

namespace galdera {

/// Reads `name type` lines: a name holding blanks may stand in double quotes; blank lines and
/// lines starting with '#' are skipped. On failure returns false with `error` naming the line.
bool ReadObjects(std::istream& in, std::vector<ServerObject>& objects, std::string& error);
/// ReadObjects from a file; an unreadable file is an error too.
bool ReadObjectsFile(const std::string& path, std::vector<ServerObject>& objects, std::string& error);

}  // namespace galdera
