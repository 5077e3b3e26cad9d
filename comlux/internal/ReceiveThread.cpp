#include "comlux/internal/ReceiveThread.h"

namespace comlux {

namespace {

// The stop flag of the listener whose receive thread this is; null on every other thread.
thread_local const std::atomic<bool>* tStopRequested = nullptr;

}  // namespace

ReceiveThreadScope::ReceiveThreadScope(const std::atomic<bool>* stopRequested) {
    tStopRequested = stopRequested;
}

ReceiveThreadScope::~ReceiveThreadScope() {
    tStopRequested = nullptr;
}

bool OnReceiveThread() {
    return tStopRequested != nullptr;
}

bool ReceiveThreadStopping() {
    return tStopRequested != nullptr && tStopRequested->load();
}

}  // namespace comlux
