#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "comlux/RecordCallback.h"
#include "comlux/StreamKinds.h"

namespace sequora::record {

/// Writes each record that a stream delivers as one line (RecordLine), flushed at once, and
/// counts the records of each object whose lines were written. Registered with the client
/// through Callback() and Context(). The first failed write ends the taking of records.
///
/// Threads: Deliver() runs on the listeners' receive threads, up to six at once; everything
/// else on the owner's thread. One lock keeps lines whole and the counts exact; after Finish()
/// or a failed write a late record is neither written nor counted, so the output ends cleanly.
class StreamRecorder {
public:
    /// Lines go to `out`, which must outlive the recorder; each delivery is flushed as it is
    /// written, so that a failed write is known at once and the counts hold only what was written.
    explicit StreamRecorder(std::ostream& out);
    StreamRecorder(const StreamRecorder&) = delete;
    StreamRecorder& operator=(const StreamRecorder&) = delete;

    /// Called once, on the writing thread, when a write has failed (set before Begin).
    void OnWriteFailure(std::function<void()> observer);
    /// Writes the header line, starts the receive clock and takes records from now on; false
    /// when the header could not be written.
    bool Begin();
    /// Writes and counts `count` records of `kind` lying back to back at `records`.
    void Deliver(comlux::StreamKind kind, const unsigned char* records, int count, const std::string& object);
    /// Takes no more records and flushes the output.
    void Finish();
    /// False once writing to the output has failed.
    bool OutputGood() const;
    /// The records whose lines were written, of all objects.
    std::uint64_t Written() const;
    /// Records counted per object: the `expected` names first, in their order (with 0 when
    /// none came), then any other object a record arrived for, by name.
    std::vector<std::pair<std::string, std::uint64_t>> Counts(const std::vector<std::string>& expected) const;

    /// The callback to register for a stream kind, with Context(kind).
    static comlux::RecordCallback Callback();
    /// The context that routes a kind's records to this recorder.
    void* Context(comlux::StreamKind kind);

private:
    struct KindContext {
        StreamRecorder* recorder;
        comlux::StreamKind kind;
    };
    static void OnRecords(void* context, const unsigned char* records, int count, std::string objectName);

    bool WriteLocked(const std::string& text);

    std::array<KindContext, comlux::kStreamKindCount> mContexts;  // fixed at construction
    std::function<void()> mOnWriteFailure;                        // set before Begin
    mutable std::mutex mLock;                                     // guards everything below
    std::ostream& mOut;
    bool mTaking = false;
    bool mFailed = false;
    std::uint64_t mWritten = 0;
    std::chrono::steady_clock::time_point mStart;
    std::map<std::string, std::uint64_t> mCounts;
};

}  // namespace sequora::record
