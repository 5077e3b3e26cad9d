#pragma once

#include <pthread.h>

#include "app/core/RealtimeGrant.h"

namespace sequora {

/// Real-time treatment for the thread that plays a trial run, for as long as the object lives:
/// SCHED_FIFO at a modest priority where the system permits it (otherwise the lowest nice
/// value allowed), the process's memory locked, and /dev/cpu_dma_latency held at 0 so that
/// the processor wakes from its idle states without delay. Whatever is refused is left as it
/// is; Grant() says what was granted.
///
/// Threads: construct and destroy a hold on the thread it treats. The process-wide parts
/// (locked memory, the latency request) are shared by every hold alive and released when the
/// last one ends; their count and state are guarded by a process-wide mutex.
class RealtimeHold {
public:
    /// The SCHED_FIFO priority asked for: above every normal thread, well below the kernel's own.
    static constexpr int kFifoPriority = 10;

    /// Does nothing when `enabled` is false.
    explicit RealtimeHold(bool enabled);
    /// Gives the thread its former scheduling back and releases this hold's share.
    ~RealtimeHold();
    RealtimeHold(const RealtimeHold&) = delete;
    RealtimeHold& operator=(const RealtimeHold&) = delete;

    /// What was granted.
    const RealtimeGrant& Grant() const { return mGrant; }

private:
    void RaiseThreadPriority();
    void RestoreThreadPriority();

    RealtimeGrant mGrant;
    bool mShared = false;  // holds a share of the process-wide parts
    int mFormerPolicy = SCHED_OTHER;
    sched_param mFormerParam{};
    int mFormerNice = 0;
};

}  // namespace sequora
