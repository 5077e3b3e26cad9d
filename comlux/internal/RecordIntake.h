#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <span>
#include <sys/uio.h>
#include <vector>

namespace comlux {

/// Collects a data stream's bytes as they arrive, in pieces of any size, and hands out the whole
/// records among them in order; a partial record waits for its rest. One buffer, allocated once:
/// taking records in and out allocates nothing.
///
/// Every record handed out starts at a multiple of kRecordAlignment, so a callback may read it
/// through a struct of 64-bit fields. Records whose size is a multiple of it lie back to back;
/// the others each get a slot rounded up to it, and the bytes received are scattered over the
/// slots by the receive call itself (see FreeSpace), so no record is ever copied.
///
/// Threads: used by one thread at a time (a listener's receive thread).
class RecordIntake {
public:
    /// The alignment of every record's first byte.
    static constexpr std::size_t kRecordAlignment = 16;

    /// Records of `recordSize` bytes in a buffer of about `capacity` bytes (at least one slot).
    /// The buffer is allocated here; see IsAllocated().
    RecordIntake(std::size_t recordSize, std::size_t capacity);

    /// False when the buffer could not be allocated; nothing else may then be called.
    bool IsAllocated() const { return mBuffer != nullptr; }
    /// Where the next bytes received go: pieces to be filled in order, as readv or recvmsg fill
    /// them; never empty once NextRecord has come back empty. Moves a partial record to the front,
    /// so records handed out before are no longer valid.
    std::span<const iovec> FreeSpace();
    /// `count` bytes have been written to the front of FreeSpace().
    void Received(std::size_t count);
    /// The next whole record, or an empty span when at most part of one is held.
    std::span<const unsigned char> NextRecord();
    /// Bytes held that are not handed out yet (less than a record once NextRecord came back empty).
    std::size_t Held() const { return mEnd - mBegin; }

private:
    struct Free {
        void operator()(unsigned char* buffer) const { std::free(buffer); }
    };
    unsigned char* Address(std::size_t position) const;
    iovec WholeSlot(std::size_t slot) const;

    const std::size_t mRecordSize;
    const std::size_t mStride;  // from one record's start to the next one's
    const std::size_t mSlots;
    std::unique_ptr<unsigned char, Free> mBuffer;
    std::vector<iovec> mPieces;  // one per slot, the one holding mEnd cut to its free part
    std::size_t mCutPiece = 0;   // the piece FreeSpace cut last
    // Positions count record bytes only, as if the slots lay back to back.
    std::size_t mBegin = 0;                  // first byte not handed out
    unsigned char* mBeginAddress = nullptr;  // where mBegin lies in the buffer
    std::size_t mEnd = 0;                    // end of the bytes received
};

}  // namespace comlux
