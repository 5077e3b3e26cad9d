#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "comlux/StreamKinds.h"

namespace comlux_python {

/// Decoded records of one object, back to back, oldest first.
struct Segment {
    comlux::StreamKind kind;
    std::string object;
    std::size_t itemSize = 0;
    std::vector<unsigned char> items;  // the decoded records; those before `first` were dropped
    std::size_t first = 0;             // index of the oldest record still held
    std::size_t count = 0;             // records held, from `first` on
};

/// One stream's records between the receive threads and the script: decoded as they arrive,
/// gathered into segments of one object each, handed out oldest segment first. At most
/// `maxRecords` records are held; a record arriving when the buffer is full pushes out the oldest
/// one, which is counted as dropped.
///
/// Threads: Add() runs on the listeners' receive threads (one per kind); Take, WaitForRecords,
/// Close and the counters on the script's thread. One lock guards everything; Add holds it for
/// one record's copy, never calls out, and wakes a waiting script only when the buffer was empty.
class StreamBuffer {
public:
    /// Takes records of `objects` only (their kinds in `kinds`, in the same order).
    StreamBuffer(std::size_t maxRecords, std::vector<std::string> objects,
                 std::vector<comlux::StreamKind> kinds);
    StreamBuffer(const StreamBuffer&) = delete;
    StreamBuffer& operator=(const StreamBuffer&) = delete;

    /// Decodes and keeps one record of `kind` for `object`; ignored for other objects and once
    /// closed.
    void Add(comlux::StreamKind kind, const unsigned char* record, const std::string& object);
    /// Waits up to `limit` for a record or the close; true when one of them is there.
    bool WaitForRecords(std::chrono::milliseconds limit);
    /// The oldest segment, or nullopt when nothing is held.
    std::optional<Segment> Take();
    /// Takes no more records and wakes a waiting script; what is held can still be taken.
    void Close();
    /// True once closed.
    bool Closed() const;
    /// Records pushed out because the buffer was full.
    std::uint64_t Dropped() const;
    /// Records held now.
    std::size_t Buffered() const;

private:
    void DropOldestLocked();

    const std::size_t mMaxRecords;                       // fixed at construction
    const std::vector<std::string> mObjects;             // fixed at construction
    const std::vector<comlux::StreamKind> mKinds;        // fixed at construction
    const std::chrono::steady_clock::time_point mStart;  // fixed at construction
    mutable std::mutex mLock;                            // guards everything below
    std::condition_variable mArrived;
    std::deque<std::unique_ptr<Segment>> mSegments;  // oldest first
    std::vector<Segment*> mOpenSegment;              // per object: the segment its records go to, or null
    std::size_t mHeld = 0;
    std::uint64_t mDropped = 0;
    bool mClosed = false;
};

}  // namespace comlux_python
