#include "app/gui/CfgFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "app/core/CfgWriter.h"

namespace sequora::gui {

namespace {

// Closes the descriptor it holds.
class OpenFile {
public:
    explicit OpenFile(int fd) : mFd(fd) {}
    ~OpenFile() {
        if (mFd >= 0) ::close(mFd);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int Get() const { return mFd; }

private:
    int mFd;
};

// A regular file that the user may write in a folder that takes no new file.
bool OnlyWritableInPlace(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder.empty()) folder = ".";
    return ::access(folder.c_str(), W_OK) != 0 && ::access(path.c_str(), W_OK) == 0;
}

bool RewriteInPlace(const std::string& path, std::string_view text) {
    const OpenFile file(::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (file.Get() < 0) return false;
    while (!text.empty()) {
        const ssize_t written = ::write(file.Get(), text.data(), text.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return ::fsync(file.Get()) == 0;
}

}  // namespace

bool SaveCfgFile(const std::string& path, const std::vector<ItemRow>& rows, std::string& failure) {
    CfgWriter writer;
    if (writer.Write(path, rows)) return true;
    failure = writer.ErrorMessage();
    // Only a file that could not be made beside the old one falls back; refused rows and
    // failed writes stay failures.
    if (failure != kCfgWriteFailedMessage || !OnlyWritableInPlace(path)) return false;
    if (!RewriteInPlace(path, CfgWriter::FormatText(rows))) {
        failure = kCfgWriteFailedStreamMessage;
        return false;
    }
    failure.clear();
    return true;
}

std::string CannotOpenMessage(const std::string& fileName, const std::string& reason) {
    return "Cannot open " + fileName + ": " + reason + ".";
}

}  // namespace sequora::gui
