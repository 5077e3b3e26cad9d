#include "comlux/ClientLogFile.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace comlux {

namespace {

constexpr const char* kPrefixes[] = {
    "-* FATAL *- ", "-* ERROR *- ", "-* WARNING *- ", "-* NOTICE *- ", "-* DATA *- ",
};
constexpr const char* kUnknownPrefix = "-* UNKNOWN *- ";
constexpr const char* kClosingLine = "Log File Closed - End of File\r\n";

// On disk every line feed is stored as CR LF, as a text-mode stream would.
std::string ToDiskText(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    out += "\r\n";
    return out;
}

}  // namespace

// The open file and the clock behind the public class, hidden from the library's users.
// Threads: every member function takes mLock, except those named ...Locked, which expect it.
class COMLUX_NO_EXPORT ClientLogFile::Impl {
public:
    Impl() : mClock(&ClientLogFile::Now) {}
    ~Impl() {
        // A file still open is closed without the closing line.
        if (mFd >= 0) ::close(mFd);
    }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    int Open(const std::string& fileName) {
        std::lock_guard guard(mLock);
        if (mFd >= 0) CloseLocked();
        // Replaced at start, then appended to: when another program truncates the same file,
        // every later line still lands whole at the file's end instead of past a hole at an
        // old offset.
        mFd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0666);
        if (mFd < 0) return -1;
        const LocalTime t = mClock();
        WriteTextLocked("Comlux Log File Opened - File Name:  " + fileName);
        WriteTextLocked(FormatBannerTime(t));
        WriteTextLocked("Comlux Version 1.21\r\n");
        mFileName = fileName;
        return 0;
    }

    int Close() {
        std::lock_guard guard(mLock);
        return CloseLocked();
    }

    int WriteEntry(int level, const std::string& message) {
        std::lock_guard guard(mLock);
        if (mFd < 0) return -1;
        std::string line = LevelPrefix(level);
        line += ' ';
        line += FormatEntryTime(mClock());
        line += " - ";
        line += message;
        return WriteTextLocked(line);
    }

    int WriteText(const std::string& text) {
        std::lock_guard guard(mLock);
        return WriteTextLocked(text);
    }

    void SetClock(Clock clock) {
        std::lock_guard guard(mLock);
        mClock = std::move(clock);
    }

private:
    int CloseLocked() {
        if (mFd < 0) return -1;
        WriteTextLocked(kClosingLine);
        ::close(mFd);
        mFd = -1;
        mFileName.clear();
        return 0;
    }

    int WriteTextLocked(const std::string& text) {
        if (mFd < 0) return -1;
        // One write per line: with O_APPEND the line goes to the end of the file in one piece.
        const std::string disk = ToDiskText(text);
        for (std::size_t written = 0; written < disk.size();) {
            const ssize_t n = ::write(mFd, disk.data() + written, disk.size() - written);
            if (n < 0 && errno == EINTR) continue;
            // A failing write (a full disk) is not reported: the caller goes on without its line.
            if (n <= 0) break;
            written += static_cast<std::size_t>(n);
        }
        return 0;
    }

    std::mutex mLock;       // guards everything below
    int mFd = -1;           // the open file, -1 when none
    std::string mFileName;  // the open file's name, empty when none
    Clock mClock;           // the local clock entries are stamped with
};

ClientLogFile::ClientLogFile() : mImpl(new Impl) {}

ClientLogFile::~ClientLogFile() {
    delete mImpl;
}

int ClientLogFile::OpenLogFile(const std::string& fileName) {
    return mImpl->Open(fileName);
}

int ClientLogFile::CloseLogFile() {
    return mImpl->Close();
}

int ClientLogFile::WriteEntry(int level, const std::string& message) {
    return mImpl->WriteEntry(level, message);
}

int ClientLogFile::WriteText(const std::string& text) {
    return mImpl->WriteText(text);
}

void ClientLogFile::SetClock(Clock clock) {
    mImpl->SetClock(std::move(clock));
}

const char* ClientLogFile::LevelPrefix(int level) {
    if (level >= Fatal && level <= Data) return kPrefixes[level];
    return kUnknownPrefix;
}

std::string ClientLogFile::FormatEntryTime(const LocalTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", t.hour, t.minute, t.second, t.millisecond);
    return buf;
}

std::string ClientLogFile::FormatBannerTime(const LocalTime& t) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "Time Opened: (m/d/y)  %d/%d/%d at time %d:%d:%d.%d", t.month, t.day,
                  t.year, t.hour, t.minute, t.second, t.millisecond);
    return buf;
}

LocalTime ClientLogFile::Now() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t secs = system_clock::to_time_t(now);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
    localtime_r(&secs, &tm);
    return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,          tm.tm_hour,
                     tm.tm_min,         tm.tm_sec,     static_cast<int>(ms)};
}

}  // namespace comlux
