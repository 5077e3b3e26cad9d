#include "comlux/internal/StreamRegistration.h"

#include <algorithm>
#include <utility>

#include "comlux/internal/ReceiveThread.h"

namespace comlux {

namespace {

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
    ++mGeneration;
}

void StreamRegistration::WaitForEarlierCalls() {
    if (OnReceiveThread()) return;
    std::unique_lock lock(mLock);
    const std::uint64_t current = mGeneration;
    mChanged.wait(lock, [&] { return mRunningGeneration == 0 || mRunningGeneration >= current; });
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
}

StreamRegistration::Outcome StreamRegistration::Deliver(std::optional<std::int64_t> number,
                                                        const unsigned char* record) {
    RecordCallback callback = nullptr;
    void* context = nullptr;
    std::string name;
    {
        std::unique_lock lock(mLock);
        mChanged.wait(lock, [this] { return mRunningGeneration == 0 || ReceiveThreadStopping(); });
        if (mRunningGeneration != 0) return Outcome::Dropped;
        if (mCallback == nullptr || mCallbackContext == nullptr) return Outcome::Dropped;
        if (number) {
            if (*number < 0 || *number >= static_cast<std::int64_t>(mObjectNames.size()))
                return Outcome::OutOfRange;
            name = mObjectNames[static_cast<std::size_t>(*number)];
        } else if (!mObjectNames.empty()) {
            name = mObjectNames.front();
        }
        callback = mCallback;
        context = mCallbackContext;
        mRunningGeneration = mGeneration;
    }
    callback(context, record, 1, std::move(name));
    {
        std::lock_guard lock(mLock);
        mRunningGeneration = 0;
    }
    mChanged.notify_all();
    return Outcome::Delivered;
}

void StreamRegistration::WakeWaitingDeliveries() {
    { std::lock_guard lock(mLock); }
    mChanged.notify_all();
}

std::int32_t ReadLittleInt32(const unsigned char* bytes) {
    const std::uint32_t value =
        static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
        static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    return static_cast<std::int32_t>(value);
}

std::uint16_t ReadLittleUint16(const unsigned char* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

}  // namespace comlux
