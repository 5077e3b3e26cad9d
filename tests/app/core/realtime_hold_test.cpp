// Real-time treatment of a run's worker: whatever the system grants is given back when the
// hold ends, and what was granted is said in one line.
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <pthread.h>
#include <string>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

#include "app/core/RealtimeGrant.h"
#include "app/core/RealtimeHold.h"

namespace {

using sequora::RealtimeGrant;
using sequora::RealtimeHold;

// The sanitizers replace mlockall by a call that locks nothing and reports success.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kMlockWorks = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kMlockWorks = false;
#else
constexpr bool kMlockWorks = true;
#endif
#else
constexpr bool kMlockWorks = true;
#endif

// The kilobytes of locked memory of this process.
long LockedKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmLck:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

struct ThreadScheduling {
    int policy = 0;
    int priority = 0;
    int nice = 0;
    bool operator==(const ThreadScheduling&) const = default;
};

ThreadScheduling Scheduling() {
    ThreadScheduling now;
    sched_param param{};
    pthread_getschedparam(pthread_self(), &now.policy, &param);
    now.priority = param.sched_priority;
    now.nice = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
    return now;
}

TEST(RealtimeHold, AHoldNotAskedForGrantsAndSaysNothing) {
    const ThreadScheduling before = Scheduling();
    const RealtimeHold hold(false);
    EXPECT_FALSE(hold.Grant().requested);
    EXPECT_FALSE(hold.Grant().fifo);
    EXPECT_FALSE(hold.Grant().memoryLocked);
    EXPECT_FALSE(hold.Grant().wakeLatencyHeld);
    EXPECT_EQ(hold.Grant().Describe(), "");
    EXPECT_EQ(Scheduling(), before);
}

TEST(RealtimeHold, EverythingGrantedIsGivenBackWhenTheLastHoldEnds) {
    // On a thread of its own, so that nothing else of the test runs with what is granted.
    std::thread([] {
        const ThreadScheduling before = Scheduling();
        const long lockedBefore = LockedKilobytes();
        std::optional<RealtimeHold> first(std::in_place, true);
        const RealtimeGrant grant = first->Grant();
        EXPECT_TRUE(grant.requested);
        if (grant.fifo) {
            EXPECT_EQ(Scheduling().policy, SCHED_FIFO);
            EXPECT_EQ(Scheduling().priority, RealtimeHold::kFifoPriority);
        } else {
            EXPECT_LE(Scheduling().nice, before.nice);
        }
        {
            const RealtimeHold second(true);
            EXPECT_EQ(second.Grant().memoryLocked, grant.memoryLocked);
            EXPECT_EQ(second.Grant().wakeLatencyHeld, grant.wakeLatencyHeld);
        }
        if (grant.memoryLocked && kMlockWorks) {
            EXPECT_GT(LockedKilobytes(), 0) << "released while a hold still lives";
        }
        first.reset();
        EXPECT_EQ(Scheduling(), before);
        EXPECT_EQ(LockedKilobytes(), lockedBefore);
    }).join();
}

TEST(RealtimeGrant, DescribesWhatWasGrantedInOneLine) {
    RealtimeGrant grant;
    grant.requested = true;
    grant.nice = -5;
    EXPECT_EQ(grant.Describe(),
              "realtime: not granted (nice -5), memory not locked, wake-up latency not held");
    grant.fifo = true;
    grant.priority = 10;
    grant.memoryLocked = true;
    grant.wakeLatencyHeld = true;
    EXPECT_EQ(grant.Describe(), "realtime: SCHED_FIFO priority 10, memory locked, wake-up latency held at 0");
}

}  // namespace
