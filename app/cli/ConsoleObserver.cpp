#include "app/cli/ConsoleObserver.h"

#include "app/core/RunMessages.h"

namespace sequora::cli {

void ConsoleObserver::Print(const std::string& text) {
    std::lock_guard guard(mLock);
    mErr << text << '\n' << std::flush;
}

void ConsoleObserver::TrialStarting(const RunPosition& at) {
    std::string line = "trial " + std::to_string(at.trial);
    if (at.trialCount > 0) line += "/" + std::to_string(at.trialCount);
    Print(line);
}

void ConsoleObserver::ResetsStarting(std::uint64_t run, const std::vector<int>& bits) {
    (void)run;
    (void)bits;
    {
        std::lock_guard guard(mLock);
        mResetting = true;
    }
    mChanged.notify_all();
}

void ConsoleObserver::RunStarted(const RunStartInfo& info) {
    Print("seed " + std::to_string(info.seed));
    if (const std::string realtime = info.realtime.Describe(); !realtime.empty()) Print(realtime);
}

void ConsoleObserver::RunEnded(const RunEndInfo& info) {
    if (!info.resetBits.empty()) Print(run_messages::BitsReset(info.resetBits));
    for (const UnconfirmedBit& bit : info.unconfirmedBits)
        Print(run_messages::BitMayStillBeOn(bit.bit, bit.reason));
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

void ConsoleObserver::JournalStopped(std::uint64_t run, const std::string& message) {
    (void)run;
    Print(message);
}

bool ConsoleObserver::AwaitStopProgress(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(mLock);
    return mChanged.wait_until(lock, deadline, [&] { return mEnd || mResetting; });
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
