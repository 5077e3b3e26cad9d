#include "comlux/internal/StreamRegistration.h"

#include <algorithm>
#include <utility>

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

StreamRegistration::Outcome StreamRegistration::DeliverNumbered(std::int64_t number,
                                                                const unsigned char* record) {
    RecordCallback callback = nullptr;
    void* context = nullptr;
    std::string name;
    {
        std::lock_guard lock(mLock);
        if (mCallback == nullptr || mCallbackContext == nullptr) return Outcome::Dropped;
        if (number < 0 || number >= static_cast<std::int64_t>(mObjectNames.size()))
            return Outcome::OutOfRange;
        callback = mCallback;
        context = mCallbackContext;
        name = mObjectNames[static_cast<std::size_t>(number)];
    }
    callback(context, record, 1, std::move(name));
    return Outcome::Delivered;
}

StreamRegistration::Outcome StreamRegistration::DeliverUnderFirstName(const unsigned char* record) {
    RecordCallback callback = nullptr;
    void* context = nullptr;
    std::string name;
    {
        std::lock_guard lock(mLock);
        if (mCallback == nullptr || mCallbackContext == nullptr) return Outcome::Dropped;
        callback = mCallback;
        context = mCallbackContext;
        if (!mObjectNames.empty()) name = mObjectNames.front();
    }
    callback(context, record, 1, std::move(name));
    return Outcome::Delivered;
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
