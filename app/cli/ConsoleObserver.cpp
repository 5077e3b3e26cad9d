#include "app/cli/ConsoleObserver.h"

namespace sequora::cli {

void ConsoleObserver::Print(const std::string& text) {
    std::lock_guard guard(mLock);
    mErr << text << '\n' << std::flush;
}

void ConsoleObserver::TrialStarting(long long trial, int count) {
    std::string line = "trial " + std::to_string(trial);
    if (count > 0) line += "/" + std::to_string(count);
    Print(line);
}

void ConsoleObserver::RunStarted(const RunStartInfo& info) {
    Print("seed " + std::to_string(info.seed));
    if (const std::string realtime = info.realtime.Describe(); !realtime.empty()) Print(realtime);
}

void ConsoleObserver::RunEnded(const RunEndInfo& info) {
    {
        std::lock_guard guard(mLock);
        mEnd = info;
    }
    mChanged.notify_all();
}

ConsoleObserver::Waited ConsoleObserver::WaitForEnd(
    std::optional<std::chrono::steady_clock::time_point> deadline) {
    std::unique_lock lock(mLock);
    const auto done = [&] { return mEnd || mWoken; };
    if (deadline) {
        mChanged.wait_until(lock, *deadline, done);
    } else {
        mChanged.wait(lock, done);
    }
    if (mEnd) return Waited::Ended;
    if (mWoken) {
        mWoken = false;
        return Waited::Woken;
    }
    return Waited::TimedOut;
}

void ConsoleObserver::Wake() {
    {
        std::lock_guard guard(mLock);
        mWoken = true;
    }
    mChanged.notify_all();
}

std::optional<RunEndInfo> ConsoleObserver::End() {
    std::lock_guard guard(mLock);
    return mEnd;
}

}  // namespace sequora::cli
