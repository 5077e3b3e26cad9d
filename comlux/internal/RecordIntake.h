#pragma once

#include <cstddef>
#include <memory>
#include <span>

namespace comlux {

/// Collects a data stream's bytes as they arrive, in pieces of any size, and hands out the whole
/// records among them in order; a partial record waits for its rest. One buffer, allocated once:
/// taking records in and out allocates nothing.
///
/// Threads: used by one thread at a time (a listener's receive thread).
class RecordIntake {
public:
    /// Records of `recordSize` bytes in a buffer of `capacity` bytes (at least one record).
    /// The buffer is allocated here; see IsAllocated().
    RecordIntake(std::size_t recordSize, std::size_t capacity);

    /// False when the buffer could not be allocated; nothing else may then be called.
    bool IsAllocated() const { return mBuffer != nullptr; }
    /// The buffer size.
    std::size_t Capacity() const { return mCapacity; }
    /// Where the next bytes received go; never empty once NextRecord has come back empty. Moves a
    /// partial record to the front, so records handed out before are no longer valid.
    std::span<unsigned char> FreeSpace();
    /// `count` bytes have been written to the front of FreeSpace().
    void Received(std::size_t count);
    /// The next whole record, or an empty span when at most part of one is held.
    std::span<const unsigned char> NextRecord();
    /// Bytes held that are not handed out yet (less than a record once NextRecord came back empty).
    std::size_t Held() const { return mEnd - mBegin; }

private:
    const std::size_t mRecordSize;
    const std::size_t mCapacity;
    std::unique_ptr<unsigned char[]> mBuffer;
    std::size_t mBegin = 0;  // first byte not handed out
    std::size_t mEnd = 0;    // end of the bytes received
};

}  // namespace comlux
