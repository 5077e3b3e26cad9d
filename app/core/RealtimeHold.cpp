#include "app/core/RealtimeHold.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace sequora {

namespace {

const char kLatencyDevice[] = "/dev/cpu_dma_latency";

// The parts of the treatment that belong to the whole process.
struct ProcessWideHold {
    std::mutex lock;            // guards the members below
    int holders = 0;            // holds alive
    bool memoryLocked = false;  // mlockall succeeded for the current holders
    int latencyFd = -1;         // open while the latency request stands
};

ProcessWideHold& ProcessWide() {
    static ProcessWideHold hold;
    return hold;
}

pid_t ThreadId() {
    return static_cast<pid_t>(::syscall(SYS_gettid));
}

bool LockMemory() {
#ifdef MCL_ONFAULT
    // MCL_ONFAULT locks pages as they are touched instead of faulting in every mapping at once,
    // which for large reserved regions (thread stacks, sanitizer shadows) would be ruinous.
    return ::mlockall(MCL_CURRENT | MCL_FUTURE | MCL_ONFAULT) == 0;
#else
    return false;
#endif
}

int HoldWakeLatencyAtZero() {
    const int fd = ::open(kLatencyDevice, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    // The request stands for as long as the descriptor stays open.
    const std::int32_t zero = 0;
    if (::write(fd, &zero, sizeof zero) != static_cast<ssize_t>(sizeof zero)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

RealtimeHold::RealtimeHold(bool enabled) {
    if (!enabled) return;
    mGrant.requested = true;
    RaiseThreadPriority();

    ProcessWideHold& shared = ProcessWide();
    std::lock_guard guard(shared.lock);
    if (shared.holders++ == 0) {
        shared.memoryLocked = LockMemory();
        shared.latencyFd = HoldWakeLatencyAtZero();
    }
    mShared = true;
    mGrant.memoryLocked = shared.memoryLocked;
    mGrant.wakeLatencyHeld = shared.latencyFd >= 0;
}

RealtimeHold::~RealtimeHold() {
    if (!mGrant.requested) return;
    RestoreThreadPriority();
    if (!mShared) return;
    ProcessWideHold& shared = ProcessWide();
    std::lock_guard guard(shared.lock);
    if (--shared.holders > 0) return;
    if (shared.memoryLocked) ::munlockall();
    shared.memoryLocked = false;
    if (shared.latencyFd >= 0) ::close(shared.latencyFd);
    shared.latencyFd = -1;
}

void RealtimeHold::RaiseThreadPriority() {
    // The timer may then wake this thread at its deadline instead of up to 50 us later.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    ::pthread_getschedparam(::pthread_self(), &mFormerPolicy, &mFormerParam);
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(ThreadId()));
    mFormerNice = errno == 0 ? nice : 0;
    mGrant.nice = mFormerNice;

    sched_param param{};
    param.sched_priority = kFifoPriority;
    if (::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &param) == 0) {
        mGrant.fifo = true;
        mGrant.priority = kFifoPriority;
        return;
    }
    // On Linux a thread id names one thread to setpriority, so only the worker is raised.
    for (int candidate = -20; candidate < mFormerNice; ++candidate) {
        if (::setpriority(PRIO_PROCESS, static_cast<id_t>(ThreadId()), candidate) == 0) {
            mGrant.nice = candidate;
            return;
        }
    }
}

void RealtimeHold::RestoreThreadPriority() {
    if (mGrant.fifo) ::pthread_setschedparam(::pthread_self(), mFormerPolicy, &mFormerParam);
    if (mGrant.nice != mFormerNice) ::setpriority(PRIO_PROCESS, static_cast<id_t>(ThreadId()), mFormerNice);
}

}  // namespace sequora
