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
    ++mSends;
    if (!mConnected) {
        mLastFailure = sequora::SendFailure::NotConnected;
        return false;
    }
    if (mSends == mFailAt) {
        mLastFailure = mPlannedFailure;
        if (mPlannedFailure != sequora::SendFailure::AnswerUnreadable) mConnected = false;
        return false;
    }
    answer = kGoodAnswer;
    return true;
}

sequora::SendFailure RecordingSender::LastFailure() const {
    std::lock_guard guard(mLock);
    return mLastFailure;
}

bool RecordingSender::Connected() {
    std::lock_guard guard(mLock);
    return mConnected;
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

void RecordingSender::FailAt(int sendNumber, sequora::SendFailure failure) {
    std::lock_guard guard(mLock);
    mFailAt = mSends + sendNumber;
    mPlannedFailure = failure;
}

void RecordingSender::SetConnected(bool connected) {
    std::lock_guard guard(mLock);
    mConnected = connected;
}

}  // namespace testsupport
