#pragma once

#include <ctime>
#include <string>

namespace sequora::gui {

/// The path of a new journal file in `folder` for a run that starts at `start` (local
/// time): "<folder>/2026-12-08_17-40-02.tsv", or with "-2", "-3", ... before ".tsv" when
/// anything of that name (a file, the open .cfg, a link) exists already. Creates the folder when it is
/// missing; empty when it cannot be created.
std::string NewJournalPath(const std::string& folder, std::time_t start);

}  // namespace sequora::gui
