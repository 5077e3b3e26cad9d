#pragma once

#include <cstddef>
#include <string>

namespace sequora {

/// How the load of one .cfg file ended: whole, or where and why it stopped, and how many
/// items it appended either way.
struct CfgLoadResult {
    /// The ways a load can end.
    enum class End {
        Whole,      ///< every line was read
        Stopped,    ///< a line could not be read; the lines after it were not read
        Cancelled,  ///< the caller ended the load
        Unopened,   ///< the file could not be opened; nothing was read
        Reading,    ///< the load goes on
    };

    End end = End::Unopened;
    /// The line reading stopped at, counting from 1 (Stopped, Cancelled).
    std::size_t line = 0;
    /// Why: the reader's reason (Stopped, Cancelled) or the system's (Unopened).
    std::string reason;
    /// The rows the load appended to the list.
    int itemsLoaded = 0;

    /// True when every line of the file was read.
    bool Whole() const { return end == End::Whole; }
    /// True when some lines were read and some were not (Stopped, Cancelled).
    bool Partial() const { return end == End::Stopped || end == End::Cancelled; }
    /// What the user is told after a partial load of `path` (named by its file name):
    /// "Reading stopped at line 412 of protocol.cfg: the line is longer than 999
    /// characters. 37 items were loaded."
    std::string StopMessage(const std::string& path) const;
};

}  // namespace sequora
