#pragma once

#include <cstddef>
#include <string>

namespace sequora {

/// How the load of one .cfg file ended: whole, or where and why it stopped, and how many
/// items it appended either way.
struct CfgLoadResult {
    /// The ways a load can end.
    // The constants lose their k with their uses in the window, which is being rewritten.
    // NOLINTBEGIN(readability-identifier-naming)
    enum class End {
        kWhole,      ///< every line was read
        kStopped,    ///< a line could not be read; the lines after it were not read
        kCancelled,  ///< the caller ended the load
        kUnopened,   ///< the file could not be opened; nothing was read
        kReading,    ///< the load goes on
    };
    // NOLINTEND(readability-identifier-naming)

    End end = End::kUnopened;
    /// The line reading stopped at, counting from 1 (kStopped, kCancelled).
    std::size_t line = 0;
    /// Why: the reader's reason (kStopped, kCancelled) or the system's (kUnopened).
    std::string reason;
    /// The rows the load appended to the list.
    int itemsLoaded = 0;

    /// True when every line of the file was read.
    bool Whole() const { return end == End::kWhole; }
    /// True when some lines were read and some were not (kStopped, kCancelled).
    bool Partial() const { return end == End::kStopped || end == End::kCancelled; }
    /// What the user is told after a partial load of `path` (named by its file name):
    /// "Reading stopped at line 412 of protocol.cfg: the line is longer than 999
    /// characters. 37 items were loaded."
    std::string StopMessage(const std::string& path) const;
};

}  // namespace sequora
