#include "comlux/internal/RecordIntake.h"

#include <cstring>
#include <new>

namespace comlux {

RecordIntake::RecordIntake(std::size_t recordSize, std::size_t capacity)
    : mRecordSize(recordSize), mCapacity(capacity), mBuffer(new (std::nothrow) unsigned char[capacity]) {}

std::span<unsigned char> RecordIntake::FreeSpace() {
    if (mBegin != 0) {
        std::memmove(mBuffer.get(), mBuffer.get() + mBegin, mEnd - mBegin);
        mEnd -= mBegin;
        mBegin = 0;
    }
    return {mBuffer.get() + mEnd, mCapacity - mEnd};
}

void RecordIntake::Received(std::size_t count) {
    mEnd += count;
}

std::span<const unsigned char> RecordIntake::NextRecord() {
    if (mEnd - mBegin < mRecordSize) return {};
    const std::span<const unsigned char> record(mBuffer.get() + mBegin, mRecordSize);
    mBegin += mRecordSize;
    return record;
}

}  // namespace comlux
