#pragma once

#include <functional>
#include <string>
#include <vector>

namespace cmdfile {

/// Routes a command line to the handler whose keyword its first word names, in any letter
/// case and any unambiguous abbreviation. The table is fixed at construction.
class CmdInterface {
public:
    /// Receives the whole command line.
    using Handler = std::function<void(const std::string& line)>;
    /// One keyword (beginning with '-') and its handler.
    struct Entry {
        std::string keyword;
        Handler handler;
    };

    /// Takes the keyword table in its order; keywords are folded to lower case.
    explicit CmdInterface(std::vector<Entry> table);

    /// Calls the one handler whose keyword begins with the line's folded first word and
    /// returns 0; -1 when no keyword or several match (no handler runs then).
    int Dispatch(const std::string& line) const;

private:
    std::vector<Entry> mTable;
};

}  // namespace cmdfile
