#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "comlux/ComluxClient.h"
#include "comlux/StreamKinds.h"
#include "python/src/StreamBuffer.h"

namespace comlux_python {

/// Carries each kind's records from the client's receive threads to the stream that asked for
/// that kind. Registered once as the client's callback for all six kinds, so that streams come
/// and go without re-registering while the client may be busy.
///
/// Threads: OnRecord runs on the receive threads; Attach and Detach on the script's thread. Each
/// kind has its own lock, held while a record is handed over; once Detach has returned, no record
/// reaches the detached buffer any more.
class RecordRouter {
public:
    RecordRouter();
    RecordRouter(const RecordRouter&) = delete;
    RecordRouter& operator=(const RecordRouter&) = delete;

    /// Registers this router as the client's record callback for every kind.
    void RegisterWith(comlux::ComluxClient& client);
    /// Sends records of `kinds` to `buffer`; false (nothing attached) when another buffer
    /// already takes one of them, which is then named in `busyKind`.
    bool Attach(const std::vector<comlux::StreamKind>& kinds, std::shared_ptr<StreamBuffer> buffer,
                comlux::StreamKind& busyKind);
    /// Sends no more records to `buffer`.
    void Detach(const StreamBuffer& buffer);

private:
    struct Slot {
        RecordRouter* router;
        comlux::StreamKind kind;
        std::mutex lock;                       // held while a record is handed over
        std::shared_ptr<StreamBuffer> buffer;  // guarded by lock
    };
    static void OnRecord(void* context, const unsigned char* record, int count, std::string objectName);

    std::array<Slot, comlux::kStreamKindCount> mSlots;
    std::mutex mAttachLock;  // keeps an Attach of several kinds whole
};

}  // namespace comlux_python
