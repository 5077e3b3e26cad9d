#include "app/cli/record/StreamRecorder.h"

#include <algorithm>
#include <utility>

#include "app/cli/record/RecordColumns.h"

namespace sequora::record {

StreamRecorder::StreamRecorder(std::ostream& out) : mOut(out) {
    for (std::size_t i = 0; i < mContexts.size(); ++i) mContexts[i] = {this, comlux::kStreamKinds[i].kind};
}

void StreamRecorder::OnWriteFailure(std::function<void()> observer) {
    mOnWriteFailure = std::move(observer);
}

// Writes and flushes; the first failure ends the taking of records for good.
bool StreamRecorder::WriteLocked(const std::string& text) {
    mOut << text;
    mOut.flush();
    if (mOut.good()) return true;
    mFailed = true;
    mTaking = false;
    return false;
}

bool StreamRecorder::Begin() {
    {
        std::lock_guard guard(mLock);
        if (WriteLocked(HeaderLine())) {
            mStart = std::chrono::steady_clock::now();
            mTaking = true;
            return true;
        }
    }
    if (mOnWriteFailure) mOnWriteFailure();
    return false;
}

void StreamRecorder::Deliver(comlux::StreamKind kind, const unsigned char* records, int count,
                             const std::string& object) {
    const auto received = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point start;
    {
        std::lock_guard guard(mLock);
        if (!mTaking) return;
        start = mStart;
    }
    // Formatted outside the lock, so that the other streams' threads need not wait for it.
    const double receiveMs = std::chrono::duration<double, std::milli>(received - start).count();
    const auto size = static_cast<std::size_t>(comlux::InfoOf(kind).recordSize);
    std::string lines;
    for (int i = 0; i < count; ++i)
        lines += RecordLine(receiveMs, object, kind, records + static_cast<std::size_t>(i) * size);

    {
        std::lock_guard guard(mLock);
        if (!mTaking || count <= 0) return;
        if (WriteLocked(lines)) {
            mCounts[object] += static_cast<std::uint64_t>(count);
            mWritten += static_cast<std::uint64_t>(count);
            return;
        }
    }
    if (mOnWriteFailure) mOnWriteFailure();
}

void StreamRecorder::Finish() {
    std::lock_guard guard(mLock);
    mTaking = false;
    mOut.flush();
}

bool StreamRecorder::OutputGood() const {
    std::lock_guard guard(mLock);
    return !mFailed && mOut.good();
}

std::uint64_t StreamRecorder::Written() const {
    std::lock_guard guard(mLock);
    return mWritten;
}

std::vector<std::pair<std::string, std::uint64_t>> StreamRecorder::Counts(
    const std::vector<std::string>& expected) const {
    std::lock_guard guard(mLock);
    std::vector<std::pair<std::string, std::uint64_t>> counts;
    for (const std::string& name : expected) {
        const auto found = mCounts.find(name);
        counts.emplace_back(name, found == mCounts.end() ? 0 : found->second);
    }
    for (const auto& [name, count] : mCounts) {
        if (std::find(expected.begin(), expected.end(), name) == expected.end())
            counts.emplace_back(name, count);
    }
    return counts;
}

comlux::RecordCallback StreamRecorder::Callback() {
    return &StreamRecorder::OnRecords;
}

void* StreamRecorder::Context(comlux::StreamKind kind) {
    return &mContexts[static_cast<std::size_t>(kind)];
}

// comlux::RecordCallback's signature passes the name by value.
// NOLINTBEGIN(performance-unnecessary-value-param)
void StreamRecorder::OnRecords(void* context, const unsigned char* records, int count,
                               std::string objectName) {
    const auto* route = static_cast<const KindContext*>(context);
    route->recorder->Deliver(route->kind, records, count, objectName);
}
// NOLINTEND(performance-unnecessary-value-param)

}  // namespace sequora::record
