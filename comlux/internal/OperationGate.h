#pragma once

#include <condition_variable>
#include <mutex>

namespace comlux {

/// Lets one operation of the client facade at a time use the command channel, so that a command
/// and its answer never interleave with another, and keeps the channel alive for the quick
/// calls that borrow it beside the operations (getters, interrupts, waits for callbacks).
///
/// Threads: any thread may enter or borrow, record callbacks included. The holder may wait for
/// receive threads (at most 500 ms each, for threads it has told to stop), so a receive thread
/// waiting here gives up as soon as its own listener is told to stop: it never waits for a
/// holder that waits for it. Once the gate is closed for good (the client is being destroyed)
/// every entry and every borrow fails at once; nobody ever blocks on a closed gate.
class OperationGate {
public:
    /// Waits for the gate and takes it. False, without taking it, when the gate is closed for
    /// good or the caller is a receive thread whose listener is being stopped.
    bool Enter();
    /// Takes the gate only when nobody holds it and it is open.
    bool TryEnter();
    /// Gives the gate back.
    void Leave();
    /// Counts a use of the channel beside the holder; false when the gate is closed for good.
    bool Borrow();
    /// Ends a use counted by Borrow.
    void Return();
    /// Makes receive threads waiting in Enter look again whether their listener is stopping.
    void WakeReceiveThreads();
    /// Closes the gate for good if nobody holds it; false when somebody does.
    bool TryClose();
    /// Waits until nobody holds the gate, closes it for good, then waits until every borrow has
    /// been returned: afterwards nobody uses the channel.
    void CloseForGood();

private:
    std::mutex mLock;  // guards the three members below
    std::condition_variable mChanged;
    bool mHeld = false;
    bool mClosed = false;
    int mBorrowers = 0;
};

/// Holds the gate for the scope when it could be entered.
class GateEntry {
public:
    /// Enters (waiting) or, with `onlyIfFree`, only tries to.
    explicit GateEntry(OperationGate& gate, bool onlyIfFree = false)
        : mGate(gate), mEntered(onlyIfFree ? gate.TryEnter() : gate.Enter()) {}
    /// Leaves when entered.
    ~GateEntry() {
        if (mEntered) mGate.Leave();
    }
    GateEntry(const GateEntry&) = delete;
    GateEntry& operator=(const GateEntry&) = delete;

    /// True when the scope holds the gate.
    bool Entered() const { return mEntered; }
    /// Waits for the gate after a failed try; true when it is now held.
    bool Enter() {
        if (!mEntered) mEntered = mGate.Enter();
        return mEntered;
    }
    /// Gives the gate back before the scope ends.
    void Leave() {
        if (mEntered) mGate.Leave();
        mEntered = false;
    }

private:
    OperationGate& mGate;
    bool mEntered;
};

/// Borrows the channel for the scope when the gate is not closed for good.
class ChannelBorrow {
public:
    /// Borrows if it can.
    explicit ChannelBorrow(OperationGate& gate) : mGate(gate), mBorrowed(gate.Borrow()) {}
    /// Returns the borrow.
    ~ChannelBorrow() {
        if (mBorrowed) mGate.Return();
    }
    ChannelBorrow(const ChannelBorrow&) = delete;
    ChannelBorrow& operator=(const ChannelBorrow&) = delete;

    /// True when the channel may be used in this scope.
    bool Borrowed() const { return mBorrowed; }

private:
    OperationGate& mGate;
    const bool mBorrowed;
};

}  // namespace comlux
