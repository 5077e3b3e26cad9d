#include "comlux/internal/RecordIntake.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace comlux {

namespace {

std::size_t RoundUp(std::size_t size, std::size_t multiple) {
    return (size + multiple - 1) / multiple * multiple;
}

// Pieces handed to one receive call at most.
constexpr std::size_t kMaxPieces = IOV_MAX;

}  // namespace

RecordIntake::RecordIntake(std::size_t recordSize, std::size_t capacity)
    : mRecordSize(recordSize),
      mStride(RoundUp(recordSize, kRecordAlignment)),
      mSlots(std::max<std::size_t>(capacity / mStride, 1)),
      mBuffer(static_cast<unsigned char*>(std::aligned_alloc(kRecordAlignment, mSlots * mStride))) {
    if (!mBuffer) return;
    mBeginAddress = mBuffer.get();
    if (mStride == mRecordSize) {
        // Back to back: the whole free space is one piece.
        mPieces.resize(1);
        return;
    }
    mPieces.reserve(mSlots);
    for (std::size_t slot = 0; slot < mSlots; ++slot) mPieces.push_back(WholeSlot(slot));
}

unsigned char* RecordIntake::Address(std::size_t position) const {
    return mBuffer.get() + position / mRecordSize * mStride + position % mRecordSize;
}

iovec RecordIntake::WholeSlot(std::size_t slot) const {
    return {mBuffer.get() + slot * mStride, mRecordSize};
}

std::span<const iovec> RecordIntake::FreeSpace() {
    if (mBegin != 0) {
        // mBegin starts a slot, so the held bytes keep their place within their slots.
        unsigned char* const from = Address(mBegin);
        std::memmove(mBuffer.get(), from, static_cast<std::size_t>(Address(mEnd) - from));
        mEnd -= mBegin;
        mBegin = 0;
        mBeginAddress = mBuffer.get();
    }
    const std::size_t total = mSlots * mRecordSize;
    if (mPieces.size() == 1) {
        mPieces[0] = {Address(mEnd), total - mEnd};
        return mPieces;
    }
    mPieces[mCutPiece] = WholeSlot(mCutPiece);
    if (mEnd == total) return {};
    mCutPiece = mEnd / mRecordSize;
    const std::size_t used = mEnd % mRecordSize;
    mPieces[mCutPiece] = {Address(mEnd), mRecordSize - used};
    return std::span<const iovec>(mPieces).subspan(mCutPiece, std::min(mSlots - mCutPiece, kMaxPieces));
}

void RecordIntake::Received(std::size_t count) {
    mEnd += count;
}

std::span<const unsigned char> RecordIntake::NextRecord() {
    if (mEnd - mBegin < mRecordSize) return {};
    // mBegin starts a slot: no division on this path, which runs for every record.
    const std::span<const unsigned char> record(mBeginAddress, mRecordSize);
    mBegin += mRecordSize;
    mBeginAddress += mStride;
    return record;
}

}  // namespace comlux
