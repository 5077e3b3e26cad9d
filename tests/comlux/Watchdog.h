#pragma once

// Ends the test program when a guarded scope does not finish in time, so that a deadlock fails
// the test with a message instead of hanging it until the test runner gives up.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace comluxtest {

class Watchdog {
public:
    /// Starts watching: `what` names the scope in the message.
    Watchdog(std::chrono::seconds limit, std::string what)
        : mWhat(std::move(what)), mThread([this, limit] { Watch(limit); }) {}
    /// The scope ended in time: stops watching.
    ~Watchdog() {
        {
            std::lock_guard lock(mLock);
            mDone = true;
        }
        mChanged.notify_all();
        mThread.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    void Watch(std::chrono::seconds limit) {
        std::unique_lock lock(mLock);
        if (mChanged.wait_for(lock, limit, [this] { return mDone; })) return;
        std::fprintf(stderr, "Watchdog: %s did not end within %lld s (a deadlock?)\n", mWhat.c_str(),
                     static_cast<long long>(limit.count()));
        std::fflush(stderr);
        std::abort();
    }

    const std::string mWhat;
    std::mutex mLock;  // guards mDone
    std::condition_variable mChanged;
    bool mDone = false;
    std::thread mThread;  // declared last: starts once the members above exist
};

}  // namespace comluxtest
