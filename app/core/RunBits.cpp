#include "app/core/RunBits.h"

#include <algorithm>

#include "app/core/RunMessages.h"

namespace sequora {

bool RunBits::BeforeSending(const BitPlan& bit) {
    // A mask of 0 (a negative bit number) sets nothing; a bit on already is not noted twice.
    if (!bit.on || bit.mask == 0) return true;
    std::lock_guard guard(mLock);
    const bool known =
        std::any_of(mBitsOn.begin(), mBitsOn.end(), [&](const BitOn& on) { return on.mask == bit.mask; });
    if (known) return true;
    if (mRefusing) return false;
    mBitsOn.push_back({bit.bit, bit.mask});
    return true;
}

void RunBits::Answered(const BitPlan& bit) {
    if (!bit.on) Forget(bit.mask);
}

void RunBits::RefuseNewBits() {
    std::lock_guard guard(mLock);
    mRefusing = true;
}

std::vector<int> RunBits::BitsOn() const {
    std::lock_guard guard(mLock);
    std::vector<int> bits;
    for (const BitOn& on : mBitsOn) bits.push_back(on.bit);
    return bits;
}

void RunBits::ResetAll(ResetChannel& channel, std::vector<int>& reset,
                       std::vector<UnconfirmedBit>& unconfirmed) {
    std::vector<BitOn> bitsOn;
    {
        std::lock_guard guard(mLock);
        bitsOn = mBitsOn;
    }
    if (bitsOn.empty()) return;
    std::vector<int> bits;
    for (const BitOn& on : bitsOn) bits.push_back(on.bit);
    channel.ResetsStarting(bits);
    for (const BitOn& on : bitsOn) {
        const std::string command = row_rules::BitCommand(false, on.mask);
        if (!channel.Connected()) {
            channel.NotSent(command);
            unconfirmed.push_back({on.bit, run_messages::FailureReason(SendFailure::NotConnected)});
        } else if (channel.Exchange(command)) {
            reset.push_back(on.bit);
            Forget(on.mask);
        } else {
            unconfirmed.push_back({on.bit, run_messages::FailureReason(channel.LastFailure())});
        }
    }
}

void RunBits::Forget(int mask) {
    std::lock_guard guard(mLock);
    mBitsOn.erase(
        std::remove_if(mBitsOn.begin(), mBitsOn.end(), [&](const BitOn& on) { return on.mask == mask; }),
        mBitsOn.end());
}

}  // namespace sequora
