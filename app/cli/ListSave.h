#pragma once

#include <iosfwd>
#include <string>

namespace sequora::cli {

/// `sequora-run --list FILE.cfg`: loads the file (without the window's pause) and prints
/// one JSON array of the nine cell texts per row. Returns the exit status: 0; 4 when the
/// file was read only in part (the rows read are printed, `err` says where it stopped);
/// 2 with a message on `err` when the file cannot be read.
int ListItems(const std::string& cfgPath, std::ostream& out, std::ostream& err);

/// `sequora-run --save OUT.cfg FILE.cfg`: loads FILE.cfg and writes it back to OUT.cfg in
/// the standard layout. Returns 0; 4 when FILE.cfg was read only in part (the rows read are
/// written, but never over FILE.cfg itself); 2 with a message on `err` when FILE.cfg cannot
/// be read or OUT.cfg cannot be written.
int SaveItems(const std::string& outPath, const std::string& cfgPath, std::ostream& err);

}  // namespace sequora::cli
