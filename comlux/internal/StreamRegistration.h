#pragma once

#include <atomic>
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
/// receive threads for every record. A receive thread works from a snapshot of its own, which it
/// renews under the lock only after a change, and claims the right to call for a run of records
/// at once (released by EndDeliveries, and as soon as it sees a change): a record costs no lock
/// and no atomic write. The callback never runs under the lock, so it may register again without
/// dead-locking. Calls never overlap, even when a stopped receive thread still finishes one while
/// the listener's next receive thread has a record ready.
class StreamRegistration {
public:
    /// What became of one record.
    enum class Outcome { Dropped, Delivered, OutOfRange, Threw };

    /// A receive thread's copy of the registration; only ever used by that thread.
    struct Snapshot {
        std::uint64_t version = 0;  // of the registration copied; 0: nothing copied yet
        RecordCallback callback = nullptr;
        void* context = nullptr;
        std::vector<std::string> names;
        bool claimed = false;  // this thread may call until it releases the claim
        std::string thrown;    // the text of the exception the last Threw delivery caught
    };

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
    /// when the number indexes no name; Threw when the callback threw (caught here, its text in
    /// `snapshot.thrown`). `snapshot` is the calling receive thread's own; the claim to call is
    /// kept for the next records until EndDeliveries.
    Outcome Deliver(Snapshot& snapshot, std::optional<std::int64_t> number, const unsigned char* record);
    /// Gives up the claim to call: before the thread waits for more records, or ends.
    void EndDeliveries(Snapshot& snapshot);
    /// Makes a receive thread waiting for its turn look again whether its listener is stopping.
    void WakeWaitingDeliveries();

private:
    void Renew(Snapshot& snapshot);
    void Release(Snapshot& snapshot);

    const StreamKind mKind;
    std::mutex mLock;  // guards the members below, except where said otherwise
    std::condition_variable mChanged;
    void* mCallbackContext = nullptr;
    RecordCallback mCallback = nullptr;
    std::vector<std::string> mObjectNames;
    // Counts changes of the registration; changed under the lock, read without it.
    std::atomic<std::uint64_t> mVersion{1};
    // The version of the snapshot holding the claim to call, 0 for none; set and cleared by the
    // claiming thread.
    std::atomic<std::uint64_t> mRunningVersion{0};
    // Threads waiting for a running call to end; changed under the lock, read without it.
    std::atomic<int> mWaiters{0};
};

}  // namespace comlux
