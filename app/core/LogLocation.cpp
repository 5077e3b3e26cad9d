#include "app/core/LogLocation.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sequora {

namespace {

const char* const kSystemFolders[] = {"/usr", "/opt"};
const char kStateFolder[] = "Sequora";
const char kDefaultStateHome[] = "/.local/state";

bool IsUnder(const std::string& path, const std::string& folder) {
    return path == folder || path.rfind(folder + "/", 0) == 0;
}

bool IsSystemFolder(const std::string& folder) {
    for (const char* system : kSystemFolders) {
        if (IsUnder(folder, system)) return true;
    }
    return false;
}

std::string ExecutableFolder() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path) return "";
    const std::string executable(path, static_cast<std::size_t>(length));
    const std::size_t slash = executable.rfind('/');
    return slash == std::string::npos ? "" : executable.substr(0, slash);
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
    if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_dir != nullptr)
        return user->pw_dir;
    return "";
}

// Creates the folder and its missing parents, private to the user as state folders are.
bool MakeFolders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1); slash != std::string::npos;
         slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat info {};
    return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::string LogFolderFor(const LogPlace& place) {
    if (!place.executableFolder.empty() && place.folderWritable && !IsSystemFolder(place.executableFolder)) {
        return place.executableFolder + "/";
    }
    std::string stateHome = place.stateHome;
    if (stateHome.empty() || stateHome[0] != '/') {
        if (place.home.empty()) return "";
        stateHome = place.home + kDefaultStateHome;
    }
    if (stateHome.back() != '/') stateHome += '/';
    return stateHome + kStateFolder + "/";
}

std::string DefaultLogFilePath() {
    LogPlace place;
    place.executableFolder = ExecutableFolder();
    place.folderWritable =
        !place.executableFolder.empty() && access(place.executableFolder.c_str(), W_OK) == 0;
    if (const char* stateHome = std::getenv("XDG_STATE_HOME")) place.stateHome = stateHome;
    place.home = HomeFolder();
    const std::string folder = LogFolderFor(place);
    if (folder.empty() || !MakeFolders(folder)) return "";
    return folder + kLogFileName;
}

}  // namespace sequora
