#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "app/core/CommandSender.h"
#include "app/core/RowPlan.h"
#include "app/core/RunObserver.h"

namespace sequora {

/// How a Safe Stop reaches the server: through the run it ends, so that its resets are sent,
/// timed and journaled like the run's other commands.
class ResetChannel {
public:
    virtual ~ResetChannel() = default;

    /// The resets of these bits, in this order, are about to go out.
    virtual void ResetsStarting(const std::vector<int>& bits) = 0;
    /// True while commands can reach the server.
    virtual bool Connected() = 0;
    /// Sends one reset and waits for its answer; true when it was answered.
    virtual bool Exchange(const std::string& command) = 0;
    /// Notes a reset that never went out for want of a connection.
    virtual void NotSent(const std::string& command) = 0;
    /// Why the last Exchange that returned false failed.
    virtual SendFailure LastFailure() const = 0;
};

/// The TTL bits one run has set on and not seen reset, in the order set, and the Safe Stop
/// that resets them when the run ends other than by completing: one reset per bit, in the order
/// set, each awaiting its own answer, so that a lost one says nothing about the next.
///
/// A bit is noted before the command that sets it goes out (its answer may be lost while the
/// server carried it out) and forgotten once a reset of it was answered. Stopping the run
/// refuses further notes under the same lock, so a bit is either never sent or known to the
/// Safe Stop.
///
/// Threads: the run's worker notes, forgets and resets; the host's thread refuses notes when it
/// stops the run and asks which bits are still on. mLock guards every member and is never held
/// while sending.
class RunBits {
public:
    /// Notes what the bit command of `bit` is about to do. False when it sets a bit on and the
    /// run was stopped: the command must not go out.
    bool BeforeSending(const BitPlan& bit);
    /// The bit command of `bit` was answered: a reset bit is off.
    void Answered(const BitPlan& bit);
    /// Refuses every later bit that would be set on (the run is stopped).
    void RefuseNewBits();
    /// The bit numbers still on, in the order set.
    std::vector<int> BitsOn() const;

    /// The Safe Stop: resets every bit still on through `channel`, a connection that is gone
    /// being asked for afresh before each. Fills `reset` with the bits whose resets were
    /// answered and `unconfirmed` with the others and why, both in the order set.
    void ResetAll(ResetChannel& channel, std::vector<int>& reset, std::vector<UnconfirmedBit>& unconfirmed);

private:
    struct BitOn {
        int bit;   // the bit number as the row gave it
        int mask;  // what the reset sends
    };

    void Forget(int mask);

    mutable std::mutex mLock;    // guards the two below
    std::vector<BitOn> mBitsOn;  // guarded by mLock
    bool mRefusing = false;      // guarded by mLock
};

}  // namespace sequora
