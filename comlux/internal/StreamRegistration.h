#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "comlux/StreamKinds.h"
#include "comlux/internal/NodeConnectionClient.h"

namespace comlux {

/// The record callback of one stream type and the table of object names that its record
/// numbers index. Written by the owner's thread, read by the receive thread for every record:
/// the lock is held only while the registration is copied, never while the callback runs, so a
/// callback may register again without dead-locking.
class StreamRegistration {
public:
    /// What became of one record.
    enum class Outcome { Dropped, Delivered, OutOfRange };

    /// A registration for the records of `kind`.
    explicit StreamRegistration(StreamKind kind);

    /// Replaces the callback and its context; empty values stop delivery.
    void SetCallback(RecordCallback callback, void* context);
    /// Keeps, in the server's order, the names whose type at the same position is accepted.
    void SetObjectNames(const std::vector<std::string>& names, const std::vector<std::string>& types);
    /// Hands the record to the callback under the name at position `number`. Dropped (silently)
    /// without a callback or context; OutOfRange when the number indexes no name.
    Outcome DeliverNumbered(std::int64_t number, const unsigned char* record);
    /// Hands the record to the callback under the first name, or "" when the table is empty.
    Outcome DeliverUnderFirstName(const unsigned char* record);

private:
    const StreamKind mKind;
    std::mutex mLock;  // guards the three members below
    void* mCallbackContext = nullptr;
    RecordCallback mCallback = nullptr;
    std::vector<std::string> mObjectNames;
};

/// The signed 32-bit little-endian value at `bytes`.
std::int32_t ReadLittleInt32(const unsigned char* bytes);
/// The unsigned 16-bit little-endian value at `bytes`.
std::uint16_t ReadLittleUint16(const unsigned char* bytes);

}  // namespace comlux
