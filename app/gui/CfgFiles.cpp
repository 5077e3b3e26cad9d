#include "app/gui/CfgFiles.h"

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "app/core/CfgWriter.h"

namespace sequora::gui {

namespace {

// A regular file that the user may write in a folder that takes no new file.
bool OnlyWritableInPlace(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder.empty()) folder = ".";
    return ::access(folder.c_str(), W_OK) != 0 && ::access(path.c_str(), W_OK) == 0;
}

}  // namespace

bool SaveCfgFile(const std::string& path, const std::vector<ItemRow>& rows, std::string& failure) {
    CfgWriter writer;
    if (writer.Write(path, rows)) return true;
    failure = writer.ErrorMessage();
    // Only a file that could not be made beside the old one falls back; refused rows and
    // failed writes stay failures.
    if (failure != kCfgWriteFailedMessage || !OnlyWritableInPlace(path)) return false;
    if (!writer.Rewrite(path, rows)) {
        failure = writer.ErrorMessage();
        return false;
    }
    failure.clear();
    return true;
}

std::string CannotOpenMessage(const std::string& fileName, const std::string& reason) {
    return "Cannot open " + fileName + ": " + reason + ".";
}

}  // namespace sequora::gui
