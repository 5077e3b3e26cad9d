#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

#include "app/core/CfgLoadResult.h"
#include "app/core/FileIdentity.h"

namespace sequora {

/// The message given when a list is to be saved over a file that was read only in part.
std::string SaveOverPartlyReadMessage(const std::string& path);

/// The files read only in part, so that a save over one of them can be refused: it would
/// replace the file with what was read of it and lose the rest.
/// Threads: used by one thread at a time.
class PartlyReadFiles {
public:
    /// Records how loading `path` ended: read in part adds it, read whole removes it.
    void Note(const std::string& path, const CfgLoadResult& result);
    /// True when `target` names one of the files read only in part.
    bool Holds(const std::string& target) const;

private:
    struct File {
        std::string path;  // as canonical as the system can make it
        bool known = false;
        dev_t device = 0;
        ino_t inode = 0;
    };
    static File Identify(const std::string& path);
    static bool Same(const File& a, const File& b);

    std::vector<File> mFiles;  // used by the owning thread only
};

}  // namespace sequora
