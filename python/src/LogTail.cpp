#include "python/src/LogTail.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace comlux_python {

namespace {

// The level prefixes of the lines worth reporting, as the library writes them.
constexpr std::array<std::string_view, 3> kProblemPrefixes{"-* FATAL *- ", "-* ERROR *- ", "-* WARNING *- "};
// What stands between an entry's time and its message.
constexpr std::string_view kMessageSeparator = " - ";
constexpr std::string_view kJoin = "; ";
constexpr const char* kPrivateName = "comlux-python-log-XXXXXX";

// The message of a problem line, or empty for any other line.
std::string_view ProblemMessage(std::string_view line) {
    for (std::string_view prefix : kProblemPrefixes) {
        if (line.substr(0, prefix.size()) != prefix) continue;
        const auto separator = line.find(kMessageSeparator, prefix.size());
        if (separator == std::string_view::npos) return line.substr(prefix.size());
        return line.substr(separator + kMessageSeparator.size());
    }
    return {};
}

}  // namespace

LogTail::~LogTail() {
    Forget();
    if (mFd >= 0) ::close(mFd);
}

bool LogTail::CreatePrivate(std::string& error) {
    const char* folder = std::getenv("TMPDIR");
    std::string pattern = std::string(folder && *folder ? folder : "/tmp") + "/" + kPrivateName;
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        error = "cannot create a file for the client log in " + pattern.substr(0, pattern.rfind('/')) + ": " +
                std::strerror(errno);
        return false;
    }
    mFd = fd;
    mPath = pattern;
    mPrivate = true;
    return true;
}

bool LogTail::Follow(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    mFd = fd;
    mPath = path;
    return true;
}

void LogTail::Forget() {
    if (mPrivate) ::unlink(mPath.c_str());
    mPrivate = false;
}

std::int64_t LogTail::Mark() const {
    struct stat status {};
    if (mFd < 0 || ::fstat(mFd, &status) != 0) return 0;
    return status.st_size;
}

std::string LogTail::ProblemsSince(std::int64_t mark) const {
    if (mFd < 0) return {};
    std::string text;
    char chunk[4096];
    for (off_t at = mark;;) {
        const ssize_t n = ::pread(mFd, chunk, sizeof chunk, at);
        if (n <= 0) break;
        text.append(chunk, static_cast<std::size_t>(n));
        at += n;
    }
    std::string problems;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::string_view message = ProblemMessage(line);
        if (!message.empty()) {
            if (!problems.empty()) problems += kJoin;
            problems += message;
        }
        start = end + 1;
    }
    return problems;
}

}  // namespace comlux_python
