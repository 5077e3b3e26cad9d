#pragma once

#include <string>

namespace sequora {

/// What a trial worker was granted to keep its timing when the machine is busy.
struct RealtimeGrant {
    bool requested = false;        ///< the host asked for real-time treatment at all
    bool fifo = false;             ///< the worker runs under SCHED_FIFO
    int priority = 0;              ///< its SCHED_FIFO priority when granted
    int nice = 0;                  ///< its nice value when SCHED_FIFO was refused
    bool memoryLocked = false;     ///< the process's memory is locked (no paging)
    bool wakeLatencyHeld = false;  ///< /dev/cpu_dma_latency is held at 0 while the run goes

    /// One line for the user, e.g. "realtime: SCHED_FIFO priority 10, memory locked,
    /// wake-up latency held at 0" or "realtime: not granted (nice 0), memory not locked,
    /// wake-up latency not held"; empty when nothing was requested.
    std::string Describe() const;
};

}  // namespace sequora
