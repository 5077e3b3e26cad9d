#pragma once

#include <ostream>
#include <string>

namespace sequora::cli {

/// Prints the timing summary of the run journal at `path` on `out`, the journal's own
/// "# timing" line. A journal cut short is summed up as far as it goes and is named on `err`
/// with the line where it stops. Returns the exit status: 0 whole, 4 cut short, 2 unreadable.
int ReportJournal(const std::string& path, std::ostream& out, std::ostream& err);

}  // namespace sequora::cli
