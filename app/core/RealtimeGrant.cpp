#include "app/core/RealtimeGrant.h"

namespace sequora {

std::string RealtimeGrant::Describe() const {
    if (!requested) return {};
    std::string text = "realtime: ";
    text += fifo ? "SCHED_FIFO priority " + std::to_string(priority)
                 : "not granted (nice " + std::to_string(nice) + ")";
    text += memoryLocked ? ", memory locked" : ", memory not locked";
    text += wakeLatencyHeld ? ", wake-up latency held at 0" : ", wake-up latency not held";
    return text;
}

}  // namespace sequora
