#include "python/src/LogTail.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace comlux_python {

namespace {

// The level prefixes of the lines that report a problem, as the library writes them.
constexpr std::array<std::string_view, 3> kProblemPrefixes{"-* FATAL *- ", "-* ERROR *- ", "-* WARNING *- "};
// Notices report a lost connection too; theirs are the lines that say something failed.
constexpr std::string_view kNoticePrefix = "-* NOTICE *- ";
constexpr std::array<std::string_view, 2> kFailureWords{"fail", "Unable"};
// What stands between an entry's time and its message.
constexpr std::string_view kMessageSeparator = " - ";
constexpr std::string_view kJoin = "; ";
constexpr std::size_t kMostMessages = 3;
constexpr const char* kPrivateName = "comlux-python-log-XXXXXX";

// The message of a line at one of the levels, or empty.
template <std::size_t N>
std::string_view MessageAt(std::string_view line, const std::array<std::string_view, N>& prefixes) {
    for (std::string_view prefix : prefixes) {
        if (line.substr(0, prefix.size()) != prefix) continue;
        const auto separator = line.find(kMessageSeparator, prefix.size());
        if (separator == std::string_view::npos) return line.substr(prefix.size());
        return line.substr(separator + kMessageSeparator.size());
    }
    return {};
}

bool SaysFailure(std::string_view message) {
    for (std::string_view word : kFailureWords) {
        if (message.find(word) != std::string_view::npos) return true;
    }
    return false;
}

// At most kMostMessages messages, each once, joined.
std::string Joined(const std::vector<std::string_view>& messages) {
    std::string joined;
    std::vector<std::string_view> taken;
    for (std::string_view message : messages) {
        if (taken.size() == kMostMessages) break;
        if (std::find(taken.begin(), taken.end(), message) != taken.end()) continue;
        if (!joined.empty()) joined += kJoin;
        joined += message;
        taken.push_back(message);
    }
    return joined;
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
    std::vector<std::string_view> problems, failedNotices;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (const std::string_view message = MessageAt(line, kProblemPrefixes); !message.empty()) {
            problems.push_back(message);
        } else if (const std::string_view notice = MessageAt(line, std::array{kNoticePrefix});
                   SaysFailure(notice)) {
            failedNotices.push_back(notice);
        }
        start = end + 1;
    }
    return Joined(problems.empty() ? failedNotices : problems);
}

}  // namespace comlux_python
