#include "galdera/StreamSender.h"

#include <cmath>

namespace galdera {

namespace {

// Bounds one write when the sender has fallen far behind (e.g. after a long stall).
constexpr std::uint64_t kMaxRecordsPerObjectAndWake = 256;

}  // namespace

StreamSender::StreamSender(std::shared_ptr<TcpSocket> connection, StreamKind kind, double recordsPerSecond,
                           std::chrono::steady_clock::time_point epoch)
    : mConnection(std::move(connection)),
      mKind(kind),
      mRecordsPerSecond(recordsPerSecond),
      mEpoch(epoch),
      mThread([this] { Run(); }) {}

StreamSender::~StreamSender() {
    Stop();
    if (mThread.joinable()) mThread.join();
}

void StreamSender::Open(int number) {
    std::lock_guard lock(mMutex);
    if (mOpen.try_emplace(number, Schedule{std::chrono::steady_clock::now(), 0}).second) mWake.notify_all();
}

void StreamSender::Close(int number) {
    std::lock_guard lock(mMutex);
    mOpen.erase(number);
}

void StreamSender::Stop() {
    {
        std::lock_guard lock(mMutex);
        mStopping = true;
    }
    mWake.notify_all();
    // Wakes a write blocked on a client that stopped reading.
    mConnection->Shutdown();
}

std::chrono::steady_clock::time_point StreamSender::CollectDue(std::chrono::steady_clock::time_point now,
                                                               std::vector<unsigned char>& batch) {
    const std::size_t size = RecordSize(mKind);
    const auto micros = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(now - mEpoch).count());
    auto next = std::chrono::steady_clock::time_point::max();
    for (auto& [number, schedule] : mOpen) {
        // The first record goes out at once, then one every 1/rate seconds.
        const double elapsed = std::chrono::duration<double>(now - schedule.openedAt).count();
        const auto due = static_cast<std::uint64_t>(std::floor(elapsed * mRecordsPerSecond)) + 1;
        std::uint64_t count = due > schedule.sent ? due - schedule.sent : 0;
        count = std::min(count, kMaxRecordsPerObjectAndWake);
        for (std::uint64_t i = 0; i < count; ++i) {
            batch.resize(batch.size() + size);
            FillRecord(mKind, number, micros, mSequence++, batch.data() + batch.size() - size);
        }
        schedule.sent += count;
        const auto nextDue =
            schedule.openedAt +
            std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                std::chrono::duration<double>(static_cast<double>(schedule.sent) / mRecordsPerSecond));
        next = std::min(next, nextDue);
    }
    return next;
}

void StreamSender::Run() {
    std::unique_lock lock(mMutex);
    std::vector<unsigned char> batch;
    while (!mStopping) {
        if (mOpen.empty() || !(mRecordsPerSecond > 0)) {
            mWake.wait(lock);
            continue;
        }
        batch.clear();
        const auto next = CollectDue(std::chrono::steady_clock::now(), batch);
        if (!batch.empty()) {
            lock.unlock();
            const bool sent = mConnection->SendAll(batch.data(), batch.size());
            lock.lock();
            if (!sent) break;  // the client closed its listener
        }
        mWake.wait_until(lock, next);
    }
}

}  // namespace galdera
