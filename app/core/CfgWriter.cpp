#include "app/core/CfgWriter.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <initializer_list>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "app/core/CfgKeywords.h"
#include "app/core/CfgSetup.h"
#include "app/core/RowPlan.h"
#include "cmdfile/FormatCmdLine.h"

namespace sequora {

namespace {

constexpr const char kLineEnd[] = "\r\n";
// Text is handed to the system in pieces of about this size.
constexpr std::size_t kWriteChunk = 64 * 1024;
// Temporary names stay well inside the longest file name the system allows.
constexpr std::size_t kMaxTempBaseName = 200;
// Names tried for a temporary file before giving up.
constexpr unsigned kTempNameAttempts = 100;

using Pieces = std::initializer_list<std::string_view>;

// The setting lines of a row, each handed to `visit` as the pieces that make it up (its
// keyword second), without the line end.
template <typename Visit>
void VisitSettingLines(const ItemRow& row, Visit&& visit) {
    using namespace cfg_keywords;
    if (SendsEvent(row)) visit(Pieces{"\t", kSendEventString, " \"", row[kColEventString], "\""});
    if (SetsBit(row)) visit(Pieces{"\t", kSendTtlBit, " ", row[kColBitNumber], " ", row[kColBitState]});
    if (SendsCommand(row)) visit(Pieces{"\t", kSendCommand, " \"", row[kColCommand], "\""});
    visit(Pieces{"\t", kSetDelay, " ", row[kColDelay]});
}

void AppendRow(std::string& text, const ItemRow& row) {
    text += cfg_keywords::kCreateTrialItem;
    text += kLineEnd;
    VisitSettingLines(row, [&text](Pieces pieces) {
        for (const std::string_view piece : pieces) text += piece;
        text += kLineEnd;
    });
    text += kLineEnd;
    text += kLineEnd;
}

// The keyword of the line that carries a column.
const char* KeywordOf(int column) {
    using namespace cfg_keywords;
    if (column <= kColEventString) return kSendEventString;
    if (column <= kColBitState) return kSendTtlBit;
    if (column <= kColCommand) return kSendCommand;
    return kSetDelay;
}

// Reads single rows back as the reader reads a file holding only that row.
class RowReadBack {
public:
    RowReadBack() : mSetup(mScratch, std::chrono::milliseconds(0)) {}

    /// The first of columns 1 to 8 whose text the written row would not read back as it
    /// stands, or 0 when all would. A line feed in a text always shows here: it splits its
    /// line, and no text read back from a line can hold one.
    int FirstChangedColumn(const ItemRow& row) {
        mText.clear();
        AppendRow(mText, row);
        mScratch.RemoveAll();
        mSetup.LoadText(mText);
        const ItemRow back = mScratch.Row(0);
        for (int column = kColSendEvent; column < kColumnCount; ++column) {
            if (back[column] != row[column]) return column;
        }
        return 0;
    }

private:
    ItemList mScratch;
    CfgSetup mSetup;
    std::string mText;
};

std::optional<CfgWriter::RowRefusal> RefusalOf(const ItemRow& row, std::size_t index, RowReadBack& readBack) {
    std::optional<CfgWriter::RowRefusal> refusal;
    VisitSettingLines(row, [&](Pieces pieces) {
        std::size_t length = 0;
        for (const std::string_view piece : pieces) length += piece.size();
        if (!refusal && length > cmdfile::FormatCmdLine::kMaxLineLength) {
            refusal =
                CfgWriter::RowRefusal{index + 1, row[kColNumber], std::string(*(pieces.begin() + 1)), true};
        }
    });
    if (refusal) return refusal;
    if (const int column = readBack.FirstChangedColumn(row); column != 0) {
        return CfgWriter::RowRefusal{index + 1, row[kColNumber], KeywordOf(column), false};
    }
    return std::nullopt;
}

// Owns a file descriptor; closing is done explicitly where its result matters.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : mFd(fd) {}
    ~FileDescriptor() {
        if (mFd >= 0) ::close(mFd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return mFd; }
    /// Closes now; the errno of a failed close, else 0.
    int Close() {
        const int fd = mFd;
        mFd = -1;
        return ::close(fd) == 0 ? 0 : errno;
    }

private:
    int mFd;
};

// Writes everything, going on after short writes and interruptions; errno or 0.
int WriteAll(int fd, std::string_view text) {
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return EIO;
        written += static_cast<std::size_t>(n);
    }
    return 0;
}

// Formats the rows and writes the text a chunk at a time; errno or 0.
int WriteText(int fd, std::size_t count, const std::function<ItemRow(std::size_t)>& rowAt) {
    std::string text;
    text.reserve(kWriteChunk + 4096);
    text += kLineEnd;
    text += kLineEnd;
    for (std::size_t i = 0; i < count; ++i) {
        AppendRow(text, rowAt(i));
        if (text.size() >= kWriteChunk) {
            if (const int error = WriteAll(fd, text); error != 0) return error;
            text.clear();
        }
    }
    return WriteAll(fd, text);
}

// Creates a new file of a name no other file has, beginning `prefix`, with the permissions
// a new file gets (unlike mkstemp's, which keeps everyone else out); its name in `path`.
int CreateUniqueFile(const std::string& prefix, std::string& path) {
    const auto seed =
        static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (unsigned attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        path = prefix + std::to_string(::getpid()) + "-" + std::to_string((seed + attempt) % 1000000007ull);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

// Makes a rename in the directory durable; a failure here changes nothing for the reader.
void SyncDirectory(const std::string& directory) {
    FileDescriptor dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0) ::fsync(dir.Get());
}

}  // namespace

std::string CfgWriter::RowRefusal::Message() const {
    const std::string problem = tooLong ? " line would be longer than " +
                                              std::to_string(cmdfile::FormatCmdLine::kMaxLineLength) +
                                              " characters"
                                        : " line would not read back as it stands";
    return "Row " + std::to_string(row) + " (item #" + number + ") cannot be saved: its " + keyword +
           problem + ". Nothing was written.";
}

std::string CfgWriter::FormatText(const std::vector<ItemRow>& rows) {
    std::string text;
    text.reserve(4 + rows.size() * 96);
    text += kLineEnd;
    text += kLineEnd;
    for (const ItemRow& row : rows) AppendRow(text, row);
    return text;
}

std::optional<CfgWriter::RowRefusal> CfgWriter::FindRefusedRow(const std::vector<ItemRow>& rows) {
    RowReadBack readBack;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (auto refusal = RefusalOf(rows[i], i, readBack)) return refusal;
    }
    return std::nullopt;
}

bool CfgWriter::Write(const std::string& path, const ItemList& list) {
    const std::vector<PackedRow> rows = list.PackedRows();
    return WriteRows(path, rows.size(), [&rows](std::size_t i) { return rows[i].Unpack(); });
}

bool CfgWriter::Write(const std::string& path, const std::vector<ItemRow>& rows) {
    return WriteRows(path, rows.size(), [&rows](std::size_t i) { return rows[i]; });
}

bool CfgWriter::Rewrite(const std::string& path, const std::vector<ItemRow>& rows) {
    mErrorMessage.clear();
    mErrorReason.clear();
    return WriteInPlace(path, rows.size(), [&rows](std::size_t i) { return rows[i]; });
}

bool CfgWriter::WriteRows(const std::string& path, std::size_t count, const RowAt& rowAt) {
    mErrorMessage.clear();
    mErrorReason.clear();
    RowReadBack readBack;
    for (std::size_t i = 0; i < count; ++i) {
        if (const auto refusal = RefusalOf(rowAt(i), i, readBack)) {
            mErrorMessage = refusal->Message();
            return false;
        }
    }

    struct stat old {};
    const bool exists = ::stat(path.c_str(), &old) == 0;
    // A device, a pipe or a directory has no old content to keep.
    if (exists && !S_ISREG(old.st_mode)) return WriteInPlace(path, count, rowAt);

    // Through a symbolic link, the file it names is replaced and the link stays.
    std::string target = path;
    if (exists) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved)) target = resolved;
    }
    const std::filesystem::path targetPath(target);
    const std::string directory = targetPath.has_parent_path() ? targetPath.parent_path().string() : ".";
    std::string temp;
    FileDescriptor file(CreateUniqueFile(
        directory + "/." + targetPath.filename().string().substr(0, kMaxTempBaseName) + ".", temp));
    if (file.Get() < 0) return Fail(kCfgWriteFailedMessage, errno);

    const char* failedMessage = exists ? kCfgWriteFailedKeptMessage : kCfgWriteFailedNewMessage;
    int error = 0;
    // The replacement keeps the permissions of the file it replaces.
    if (exists && ::fchmod(file.Get(), old.st_mode & 07777) != 0) error = errno;
    if (error == 0) error = WriteText(file.Get(), count, rowAt);
    if (error == 0 && ::fsync(file.Get()) != 0) error = errno;
    // A full disk or a network file system may only report the failure when closing.
    if (error == 0) error = file.Close();
    if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
        return Fail(failedMessage, error);
    }
    SyncDirectory(directory);
    return true;
}

bool CfgWriter::WriteInPlace(const std::string& path, std::size_t count, const RowAt& rowAt) {
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (file.Get() < 0) return Fail(kCfgWriteFailedMessage, errno);
    if (const int error = WriteText(file.Get(), count, rowAt); error != 0) {
        return Fail(kCfgWriteFailedStreamMessage, error);
    }
    // A pipe or a device that cannot be synced has nothing to sync.
    if (::fsync(file.Get()) != 0 && errno != EINVAL) return Fail(kCfgWriteFailedStreamMessage, errno);
    if (const int error = file.Close(); error != 0) return Fail(kCfgWriteFailedStreamMessage, error);
    return true;
}

bool CfgWriter::Fail(const char* message, int error) {
    mErrorMessage = message;
    mErrorReason = std::strerror(error);
    return false;
}

}  // namespace sequora
