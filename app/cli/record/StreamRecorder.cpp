#include "app/cli/record/StreamRecorder.h"

#include <algorithm>

#include "app/cli/record/RecordColumns.h"

namespace sequora::record {

StreamRecorder::StreamRecorder(std::ostream& out, bool flushEachLine)
    : mFlushEachLine(flushEachLine), mOut(out) {
    for (std::size_t i = 0; i < mContexts.size(); ++i) mContexts[i] = {this, comlux::kStreamKinds[i].kind};
}

void StreamRecorder::Begin() {
    std::lock_guard guard(mLock);
    mOut << HeaderLine();
    if (mFlushEachLine) mOut.flush();
    mStart = std::chrono::steady_clock::now();
    mTaking = true;
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

    std::lock_guard guard(mLock);
    if (!mTaking || count <= 0) return;
    mOut << lines;
    mCounts[object] += static_cast<std::uint64_t>(count);
    if (mFlushEachLine) mOut.flush();
}

void StreamRecorder::Finish() {
    std::lock_guard guard(mLock);
    mTaking = false;
    mOut.flush();
}

bool StreamRecorder::OutputGood() const {
    std::lock_guard guard(mLock);
    return mOut.good();
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

void StreamRecorder::OnRecords(void* context, const unsigned char* records, int count,
                               std::string objectName) {
    const auto* route = static_cast<const KindContext*>(context);
    route->recorder->Deliver(route->kind, records, count, objectName);
}

}  // namespace sequora::record
