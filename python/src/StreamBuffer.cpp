#include "python/src/StreamBuffer.h"

#include <algorithm>

#include "python/src/RecordLayouts.h"

namespace comlux_python {

namespace {

// A segment is closed at this size, so that a steady flow still reaches the script in batches
// and dropping never keeps much more than the limit alive.
constexpr std::size_t kSegmentBytes = std::size_t{4} << 20;

}  // namespace

StreamBuffer::StreamBuffer(std::size_t maxRecords, std::vector<std::string> objects,
                           std::vector<comlux::StreamKind> kinds)
    : mMaxRecords(std::max<std::size_t>(maxRecords, 1)),
      mObjects(std::move(objects)),
      mKinds(std::move(kinds)),
      mStart(std::chrono::steady_clock::now()),
      mOpenSegment(mObjects.size(), nullptr) {}

void StreamBuffer::Add(comlux::StreamKind kind, const unsigned char* record, const std::string& object) {
    const auto arrived = std::chrono::steady_clock::now();
    std::size_t index = 0;
    while (index < mObjects.size() && !(mKinds[index] == kind && mObjects[index] == object)) ++index;
    if (index == mObjects.size()) return;
    const RecordLayout& layout = LayoutOf(kind);
    const double receiveMs = std::chrono::duration<double, std::milli>(arrived - mStart).count();

    std::lock_guard lock(mLock);
    if (mClosed) return;
    if (mHeld == mMaxRecords) DropOldestLocked();
    const std::size_t segmentRecords =
        std::min(mMaxRecords, std::max<std::size_t>(1, kSegmentBytes / layout.itemSize));
    Segment* segment = mOpenSegment[index];
    if (segment == nullptr || segment->first + segment->count == segmentRecords) {
        auto fresh = std::make_unique<Segment>();
        fresh->kind = kind;
        fresh->object = object;
        fresh->itemSize = layout.itemSize;
        segment = fresh.get();
        mSegments.push_back(std::move(fresh));
        mOpenSegment[index] = segment;
    }
    const std::size_t end = (segment->first + segment->count) * layout.itemSize;
    segment->items.resize(end + layout.itemSize);
    DecodeRecord(layout, record, receiveMs, segment->items.data() + end);
    ++segment->count;
    // Only a script that found the buffer empty waits; later records need not wake anyone.
    if (mHeld++ == 0) mArrived.notify_all();
}

void StreamBuffer::DropOldestLocked() {
    Segment& oldest = *mSegments.front();
    ++oldest.first;
    --oldest.count;
    --mHeld;
    ++mDropped;
    if (oldest.count > 0) return;
    for (Segment*& open : mOpenSegment) {
        if (open == &oldest) open = nullptr;
    }
    mSegments.pop_front();
}

bool StreamBuffer::WaitForRecords(std::chrono::milliseconds limit) {
    std::unique_lock lock(mLock);
    return mArrived.wait_for(lock, limit, [this] { return mHeld > 0 || mClosed; });
}

std::optional<Segment> StreamBuffer::Take() {
    std::unique_ptr<Segment> oldest;
    {
        std::lock_guard lock(mLock);
        if (mSegments.empty()) return std::nullopt;
        oldest = std::move(mSegments.front());
        mSegments.pop_front();
        mHeld -= oldest->count;
        for (Segment*& open : mOpenSegment) {
            if (open == oldest.get()) open = nullptr;
        }
    }
    return std::move(*oldest);
}

void StreamBuffer::Close() {
    {
        std::lock_guard lock(mLock);
        mClosed = true;
    }
    mArrived.notify_all();
}

bool StreamBuffer::Closed() const {
    std::lock_guard lock(mLock);
    return mClosed;
}

std::uint64_t StreamBuffer::Dropped() const {
    std::lock_guard lock(mLock);
    return mDropped;
}

std::size_t StreamBuffer::Buffered() const {
    std::lock_guard lock(mLock);
    return mHeld;
}

}  // namespace comlux_python
