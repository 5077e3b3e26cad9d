#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "comlux/RecordCallback.h"
#include "comlux/StreamKinds.h"

namespace comlux {

/// The record callback of one stream kind and the table of object names that its record numbers
/// index.
///
/// Threads: written by whoever holds the client (SetCallback, SetObjectNames), read by the
/// receive threads for every record. The lock is held only while the registration is copied,
/// never while the callback runs, so a callback may register again without dead-locking. Calls
/// of the callback never overlap, even when a stopped receive thread still finishes one while
/// the listener's next receive thread has a record ready.
class StreamRegistration {
public:
    /// What became of one record.
    enum class Outcome { Dropped, Delivered, OutOfRange };

    /// A registration for the records of `kind`.
    explicit StreamRegistration(StreamKind kind);

    /// Replaces the callback and its context; empty values stop delivery. Returns at once.
    void SetCallback(RecordCallback callback, void* context);
    /// Returns once no call of a callback replaced by an earlier SetCallback is running. Returns at
    /// once on a receive thread: the running call may be its own, or one that waits for it.
    void WaitForEarlierCalls();
    /// Keeps, in the server's order, the names whose type at the same position is accepted.
    void SetObjectNames(const std::vector<std::string>& names, const std::vector<std::string>& types);
    /// Hands the record to the callback under the name at position `number`, or under the first
    /// name (or "") when `number` is empty. Dropped (silently) without a callback or context, or
    /// when the calling receive thread's listener stops while it waits for its turn; OutOfRange
    /// when the number indexes no name.
    Outcome Deliver(std::optional<std::int64_t> number, const unsigned char* record);
    /// Makes a receive thread waiting for its turn look again whether its listener is stopping.
    void WakeWaitingDeliveries();

private:
    const StreamKind mKind;
    std::mutex mLock;  // guards every member below
    std::condition_variable mChanged;
    void* mCallbackContext = nullptr;
    RecordCallback mCallback = nullptr;
    std::vector<std::string> mObjectNames;
    std::uint64_t mGeneration = 1;         // counts registrations; the running call's is below
    std::uint64_t mRunningGeneration = 0;  // registration of the call running now, 0 for none
};

/// The signed 32-bit little-endian value at `bytes`.
std::int32_t ReadLittleInt32(const unsigned char* bytes);
/// The unsigned 16-bit little-endian value at `bytes`.
std::uint16_t ReadLittleUint16(const unsigned char* bytes);

}  // namespace comlux
