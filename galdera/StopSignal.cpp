#include "galdera/StopSignal.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace galdera {

StopSignal::StopSignal() {
    if (pipe(mPipe) == 0) {
        fcntl(mPipe[0], F_SETFD, FD_CLOEXEC);
        fcntl(mPipe[1], F_SETFD, FD_CLOEXEC);
    }
}

StopSignal::~StopSignal() {
    for (int fd : mPipe) {
        if (fd >= 0) close(fd);
    }
}

void StopSignal::Raise() {
    if (mRaised.exchange(true)) return;
    const char byte = 1;
    // The byte is never read, so the read end stays readable from now on.
    [[maybe_unused]] ssize_t written = write(mPipe[1], &byte, 1);
}

bool StopSignal::IsRaised() const {
    return mRaised.load();
}

bool StopSignal::SleepFor(std::chrono::milliseconds duration) const {
    const auto deadline = std::chrono::steady_clock::now() + duration;
    while (!IsRaised()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd watch{mPipe[0], POLLIN, 0};
        poll(&watch, 1, static_cast<int>(left.count()));
    }
    return true;
}

}  // namespace galdera
