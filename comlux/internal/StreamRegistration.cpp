#include "comlux/internal/StreamRegistration.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "comlux/internal/ReceiveThread.h"

namespace comlux {

namespace {

// Stands for the text of an exception that is no std::exception.
constexpr const char* kUnknownException = "(not a std::exception)";

// The three spike kinds share one table: a spike record's number is a position among all spike
// objects of the server, whichever of the three kinds they are.
bool Accepts(StreamKind own, const std::string& dataType) {
    const std::optional<StreamKind> kind = StreamKindOfDataType(dataType);
    return kind && (*kind == own || (IsSpikeKind(*kind) && IsSpikeKind(own)));
}

}  // namespace

StreamRegistration::StreamRegistration(StreamKind kind) : mKind(kind) {}

void StreamRegistration::SetCallback(RecordCallback callback, void* context) {
    std::lock_guard lock(mLock);
    mCallback = callback;
    mCallbackContext = context;
    ++mVersion;
}

void StreamRegistration::WaitForEarlierCalls() {
    if (OnReceiveThread()) return;
    std::unique_lock lock(mLock);
    const std::uint64_t current = mVersion;
    ++mWaiters;
    mChanged.wait(lock, [&] {
        const std::uint64_t running = mRunningVersion;
        return running == 0 || running >= current;
    });
    --mWaiters;
}

void StreamRegistration::SetObjectNames(const std::vector<std::string>& names,
                                        const std::vector<std::string>& types) {
    std::vector<std::string> accepted;
    // A name without a type at its position is skipped.
    const std::size_t typed = std::min(names.size(), types.size());
    for (std::size_t i = 0; i < typed; ++i) {
        if (Accepts(mKind, types[i])) accepted.push_back(names[i]);
    }
    std::lock_guard lock(mLock);
    mObjectNames = std::move(accepted);
    ++mVersion;
}

void StreamRegistration::Renew(Snapshot& snapshot) {
    std::lock_guard lock(mLock);
    snapshot.callback = mCallback;
    snapshot.context = mCallbackContext;
    snapshot.names = mObjectNames;
    snapshot.version = mVersion;
}

StreamRegistration::Outcome StreamRegistration::Deliver(Snapshot& snapshot,
                                                        std::optional<std::int64_t> number,
                                                        const unsigned char* record) {
    for (;;) {
        if (mVersion.load(std::memory_order_acquire) != snapshot.version) {
            // Whoever changed it may be waiting for the calls of the old registration to end.
            Release(snapshot);
            Renew(snapshot);
        }
        if (snapshot.callback == nullptr || snapshot.context == nullptr) return Outcome::Dropped;
        const std::vector<std::string>& names = snapshot.names;
        if (number && (*number < 0 || *number >= static_cast<std::int64_t>(names.size())))
            return Outcome::OutOfRange;
        if (!snapshot.claimed) {
            std::uint64_t idle = 0;
            if (!mRunningVersion.compare_exchange_strong(idle, snapshot.version)) {
                // Another receive thread of this stream (a stopped one) is still in a call.
                std::unique_lock lock(mLock);
                ++mWaiters;
                mChanged.wait(lock, [this] { return mRunningVersion == 0 || ReceiveThreadStopping(); });
                --mWaiters;
                if (mRunningVersion != 0) return Outcome::Dropped;
                continue;
            }
            snapshot.claimed = true;
            // A change made before the claim is seen now; one made after it waits for the claim
            // to be released (WaitForEarlierCalls sees it).
            if (mVersion != snapshot.version) continue;
        }
        std::string name;
        if (number) {
            name = names[static_cast<std::size_t>(*number)];
        } else if (!names.empty()) {
            name = names.front();
        }
        try {
            snapshot.callback(snapshot.context, record, 1, std::move(name));
        } catch (const std::exception& error) {
            snapshot.thrown = error.what();
            return Outcome::Threw;
        } catch (...) {
            snapshot.thrown = kUnknownException;
            return Outcome::Threw;
        }
        return Outcome::Delivered;
    }
}

void StreamRegistration::EndDeliveries(Snapshot& snapshot) {
    Release(snapshot);
}

// Without a waiter a release needs no lock: a waiter counts itself in under the lock before it
// looks at the claim, so either it sees the claim released or it is seen here.
void StreamRegistration::Release(Snapshot& snapshot) {
    if (!snapshot.claimed) return;
    snapshot.claimed = false;
    mRunningVersion = 0;
    if (mWaiters > 0) {
        { std::lock_guard lock(mLock); }
        mChanged.notify_all();
    }
}

void StreamRegistration::WakeWaitingDeliveries() {
    { std::lock_guard lock(mLock); }
    mChanged.notify_all();
}

}  // namespace comlux
