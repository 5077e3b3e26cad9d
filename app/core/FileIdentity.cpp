#include "app/core/FileIdentity.h"

#include <sys/stat.h>

namespace sequora {

namespace {

// A file by its device and inode; for one not made yet, its folder's and its last name.
struct Identity {
    bool known = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::string name;  // empty when the file itself exists

    bool operator==(const Identity&) const = default;
};

Identity Identify(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) return {true, info.st_dev, info.st_ino, {}};
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || ::stat(folder.c_str(), &info) != 0) return {};
    return {true, info.st_dev, info.st_ino, name};
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
    const Identity first = Identify(a);
    const Identity second = Identify(b);
    if (!first.known || !second.known) return a == b;
    return first == second;
}

}  // namespace sequora
