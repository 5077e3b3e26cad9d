#include "app/core/RunObserver.h"

namespace sequora {

const char* RunEndWord(RunEnd how) {
    switch (how) {
        case RunEnd::Completed: return "completed";
        case RunEnd::Stopped: return "stopped";
        case RunEnd::ConnectionLost: return "connection lost";
        case RunEnd::Closed: return "closed";
    }
    return "stopped";
}

}  // namespace sequora
