#include "tests/support/RecordingSender.h"

#include "tests/support/Patience.h"

namespace testsupport {

namespace {

// What the server answers to a command that went well.
const std::string kGoodAnswer = "0";

}  // namespace

bool RecordingSender::SendCommand(const std::string& command, std::string& answer) {
    mLog.Add("send " + command);
    std::unique_lock lock(mLock);
    if (mHeldCommand && command == *mHeldCommand) {
        mHeldCommand.reset();
        mHolding = true;
        mChanged.notify_all();
        mChanged.wait(lock, [&] { return !mHolding; });
    }
    answer = kGoodAnswer;
    return true;
}

void RecordingSender::HoldFirst(const std::string& command) {
    std::lock_guard guard(mLock);
    mHeldCommand = command;
}

bool RecordingSender::AwaitHolding() {
    std::unique_lock lock(mLock);
    return mChanged.wait_for(lock, kPatience, [&] { return mHolding; });
}

void RecordingSender::Release() {
    {
        std::lock_guard guard(mLock);
        mHolding = false;
    }
    mChanged.notify_all();
}

}  // namespace testsupport
