#pragma once

#include <string>

namespace sequora {

/// Whether two paths name the same file, by the file itself and not by spelling: links,
/// "./", "..", /proc/self/cwd and the like all resolve to what they name. A path whose file
/// does not exist yet is taken as its folder (by identity) and its last name, so two spellings
/// of one file still to be made compare equal too. Paths that cannot be looked at at all are
/// compared as written.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace sequora
