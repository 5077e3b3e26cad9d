#include "app/core/PartlyReadFiles.h"

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

namespace sequora {

std::string SaveOverPartlyReadMessage(const std::string& path) {
    return std::filesystem::path(path).filename().string() +
           " was read only in part: saving over it would lose what was not read. Save the list under another "
           "name.";
}

PartlyReadFiles::File PartlyReadFiles::Identify(const std::string& path) {
    File file;
    std::error_code error;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
    file.path = error ? path : canonical.string();
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        file.known = true;
        file.device = info.st_dev;
        file.inode = info.st_ino;
    }
    return file;
}

bool PartlyReadFiles::Same(const File& a, const File& b) {
    // By path, so that a file replaced since (an editor saves by renaming) is still the file
    // meant; by identity, so that another name for it is too.
    return a.path == b.path || (a.known && b.known && a.device == b.device && a.inode == b.inode);
}

void PartlyReadFiles::Note(const std::string& path, const CfgLoadResult& result) {
    if (!result.Whole() && !result.Partial()) return;
    const File file = Identify(path);
    std::erase_if(mFiles, [&file](const File& known) { return Same(known, file); });
    if (result.Partial()) mFiles.push_back(file);
}

bool PartlyReadFiles::Holds(const std::string& target) const {
    const File file = Identify(target);
    return std::any_of(mFiles.begin(), mFiles.end(),
                       [&file](const File& known) { return Same(known, file); });
}

}  // namespace sequora
