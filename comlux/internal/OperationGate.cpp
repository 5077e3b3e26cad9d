#include "comlux/internal/OperationGate.h"

#include "comlux/internal/ReceiveThread.h"

namespace comlux {

bool OperationGate::Enter() {
    std::unique_lock lock(mLock);
    mChanged.wait(lock, [this] { return mClosed || !mHeld || ReceiveThreadStopping(); });
    if (mClosed || mHeld) return false;
    mHeld = true;
    return true;
}

bool OperationGate::TryEnter() {
    std::lock_guard lock(mLock);
    if (mClosed || mHeld) return false;
    mHeld = true;
    return true;
}

// Every notify happens under the lock: a destroyer waiting in CloseForGood could otherwise wake
// between the unlock and the notify, free the gate, and leave the notify to touch freed memory.
void OperationGate::Leave() {
    std::lock_guard lock(mLock);
    mHeld = false;
    mChanged.notify_all();
}

bool OperationGate::Borrow() {
    std::lock_guard lock(mLock);
    if (mClosed) return false;
    ++mBorrowers;
    return true;
}

void OperationGate::Return() {
    std::lock_guard lock(mLock);
    --mBorrowers;
    mChanged.notify_all();
}

void OperationGate::WakeReceiveThreads() {
    // Taking the lock orders this after a waiter's look at its stop flag: it cannot miss the wake.
    std::lock_guard lock(mLock);
    mChanged.notify_all();
}

bool OperationGate::TryClose() {
    std::lock_guard lock(mLock);
    if (mHeld) return false;
    mClosed = true;
    mChanged.notify_all();
    return true;
}

void OperationGate::CloseForGood() {
    std::unique_lock lock(mLock);
    mChanged.wait(lock, [this] { return !mHeld; });
    mClosed = true;
    mChanged.notify_all();
    mChanged.wait(lock, [this] { return mBorrowers == 0; });
}

}  // namespace comlux
