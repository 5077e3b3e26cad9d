#include "app/cli/record/FdOutput.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <poll.h>
#include <unistd.h>

namespace sequora::record {

namespace {

// A writable pipe takes this much without blocking; larger writes may wait half-way.
constexpr std::size_t kPiece = PIPE_BUF;
// How often a waiting write looks whether it has to give up.
constexpr int kWaitSliceMs = 50;

std::int64_t Now() {
    return std::chrono::steady_clock::now().time_since_epoch().count();
}

}  // namespace

void FdOutput::GiveUpAfter(std::chrono::milliseconds limit) {
    const auto at = std::chrono::steady_clock::now() + limit;
    mGiveUpAt = at.time_since_epoch().count();
}

std::streamsize FdOutput::xsputn(const char* text, std::streamsize count) {
    mPending.append(text, static_cast<std::size_t>(count));
    return count;
}

int FdOutput::overflow(int c) {
    if (c != traits_type::eof()) mPending.push_back(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
}

int FdOutput::sync() {
    return WriteAll() ? 0 : -1;
}

bool FdOutput::WriteAll() {
    std::size_t written = 0;
    while (written < mPending.size() && mError == 0) {
        pollfd ready{mFd, POLLOUT, 0};
        const int polled = ::poll(&ready, 1, kWaitSliceMs);
        if (polled < 0 && errno != EINTR) {
            mError = errno;
        } else if (polled <= 0) {
            if (Now() >= mGiveUpAt) mError = ETIMEDOUT;
        } else {
            const std::size_t piece = std::min(kPiece, mPending.size() - written);
            const ssize_t n = ::write(mFd, mPending.data() + written, piece);
            if (n > 0) {
                written += static_cast<std::size_t>(n);
            } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
                mError = errno;
            }
        }
    }
    mPending.clear();
    return mError == 0;
}

}  // namespace sequora::record
