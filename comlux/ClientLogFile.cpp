#include "comlux/ClientLogFile.h"

#include <chrono>
#include <ctime>

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

ClientLogFile::ClientLogFile() : mClock(&ClientLogFile::Now) {}

ClientLogFile::~ClientLogFile() {
    // A file still open is closed without the closing line.
    if (mFile != nullptr) std::fclose(mFile);
}

int ClientLogFile::OpenLogFile(const std::string& fileName) {
    std::lock_guard guard(mLock);
    if (mFile != nullptr) CloseLocked();
    mFile = std::fopen(fileName.c_str(), "wb");
    if (mFile == nullptr) return -1;
    const LocalTime t = mClock();
    WriteTextLocked("Comlux Log File Opened - File Name:  " + fileName);
    WriteTextLocked(FormatBannerTime(t));
    WriteTextLocked("Comlux Version 1.21\r\n");
    mFileName = fileName;
    return 0;
}

int ClientLogFile::CloseLogFile() {
    std::lock_guard guard(mLock);
    return CloseLocked();
}

int ClientLogFile::CloseLocked() {
    if (mFile == nullptr) return -1;
    WriteTextLocked(kClosingLine);
    std::fclose(mFile);
    mFile = nullptr;
    mFileName.clear();
    return 0;
}

int ClientLogFile::WriteEntry(int level, const std::string& message) {
    std::lock_guard guard(mLock);
    if (mFile == nullptr) return -1;
    std::string line = LevelPrefix(level);
    line += ' ';
    line += FormatEntryTime(mClock());
    line += " - ";
    line += message;
    return WriteTextLocked(line);
}

int ClientLogFile::WriteText(const std::string& text) {
    std::lock_guard guard(mLock);
    return WriteTextLocked(text);
}

int ClientLogFile::WriteTextLocked(const std::string& text) {
    if (mFile == nullptr) return -1;
    const std::string disk = ToDiskText(text);
    std::fwrite(disk.data(), 1, disk.size(), mFile);
    std::fflush(mFile);
    return 0;
}

void ClientLogFile::SetClock(Clock clock) {
    std::lock_guard guard(mLock);
    mClock = std::move(clock);
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
