#pragma once

#include <iosfwd>
#include <string>

#include "app/core/ItemList.h"

namespace sequora::cli {

/// How loading FILE.cfg went.
enum class LoadOutcome {
    Whole,       ///< every line was read
    Partial,     ///< reading stopped at a line; the rows before it are in the list
    Unreadable,  ///< the file could not be opened; the list is unchanged
};

/// Loads FILE.cfg ("-": standard input) into `list` as the window's Open does, without its pause per line,
/// and says on `err` what went wrong: "sequora-run: cannot read PATH: REASON" for a file that cannot be read,
/// the window's message for one read only in part.
LoadOutcome LoadItemFile(const std::string& path, ItemList& list, std::ostream& err);

}  // namespace sequora::cli
