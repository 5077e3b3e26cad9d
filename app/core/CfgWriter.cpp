#include "app/core/CfgWriter.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace sequora {

namespace {

constexpr const char kLineEnd[] = "\r\n";

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
int WriteAll(int fd, const std::string& text) {
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

}  // namespace

std::string CfgWriter::FormatText(const std::vector<ItemRow>& rows) {
    std::string text;
    text.reserve(4 + rows.size() * 96);
    text += kLineEnd;
    text += kLineEnd;
    for (const ItemRow& row : rows) {
        text += "-CreateTrialItem";
        text += kLineEnd;
        if (SendsEvent(row)) {
            text += "\t-SendEventString \"" + row[kColEventString] + "\"" + kLineEnd;
        }
        if (SetsBit(row)) {
            text += "\t-SendTTLBit " + row[kColBitNumber] + " " + row[kColBitState] + kLineEnd;
        }
        if (SendsCommand(row)) {
            text += "\t-SendCommand \"" + row[kColCommand] + "\"" + kLineEnd;
        }
        text += "\t-SetDelay " + row[kColDelay] + kLineEnd;
        text += kLineEnd;
        text += kLineEnd;
    }
    return text;
}

bool CfgWriter::Write(const std::string& path, const ItemList& list) {
    return Write(path, list.Rows());
}

bool CfgWriter::Write(const std::string& path, const std::vector<ItemRow>& rows) {
    mErrorMessage.clear();
    mErrorReason.clear();
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (file.Get() < 0) return Fail(errno);
    const std::string text = FormatText(rows);
    if (const int error = WriteAll(file.Get(), text); error != 0) return Fail(error);
    // A full disk or a network file system may only report the failure when closing.
    if (const int error = file.Close(); error != 0) return Fail(error);
    return true;
}

bool CfgWriter::Fail(int error) {
    mErrorMessage = kCfgWriteFailedMessage;
    mErrorReason = std::strerror(error);
    return false;
}

}  // namespace sequora
