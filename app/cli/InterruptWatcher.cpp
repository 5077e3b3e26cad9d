#include "app/cli/InterruptWatcher.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>
#include <utility>

namespace sequora::cli {

namespace {

sigset_t InterruptSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

// Exit status of a process ended by SIGINT, as shells report it.
constexpr int kInterruptedStatus = 130;

}  // namespace

void InterruptWatcher::BlockSignals() {
    const sigset_t set = InterruptSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

InterruptWatcher::InterruptWatcher() {
    const sigset_t set = InterruptSignals();
    mSignalFd = signalfd(-1, &set, SFD_CLOEXEC);
    mWakeFd = eventfd(0, EFD_CLOEXEC);
    if (mSignalFd < 0 || mWakeFd < 0) {
        if (mSignalFd >= 0) close(mSignalFd);
        if (mWakeFd >= 0) close(mWakeFd);
        mSignalFd = mWakeFd = -1;
        // Without a watcher the blocked signals would be lost: give them back their default.
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        return;
    }
    mThread = std::thread(&InterruptWatcher::Watch, this);
}

InterruptWatcher::~InterruptWatcher() {
    if (!mThread.joinable()) return;
    const std::uint64_t one = 1;
    while (write(mWakeFd, &one, sizeof one) < 0 && errno == EINTR) {}
    mThread.join();
    close(mSignalFd);
    close(mWakeFd);
}

void InterruptWatcher::OnInterrupt(std::function<void()> action) {
    // The watcher marks and acts under the same lock, so the action runs exactly once
    // whichever side comes second.
    std::lock_guard guard(mLock);
    mAction = std::move(action);
    if (mInterrupted && mAction) mAction();
}

void InterruptWatcher::OnSecondInterrupt(std::function<void()> lastWords) {
    std::lock_guard guard(mLock);
    mLastWords = std::move(lastWords);
}

void InterruptWatcher::Watch() {
    pollfd fds[2] = {{mSignalFd, POLLIN, 0}, {mWakeFd, POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents != 0) return;
        signalfd_siginfo info;
        if (read(mSignalFd, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) continue;
        std::lock_guard guard(mLock);
        if (mInterrupted.exchange(true)) {
            if (mLastWords) mLastWords();
            _exit(kInterruptedStatus);
        }
        if (mAction) mAction();
    }
}

}  // namespace sequora::cli
