#pragma once

#include <sys/socket.h>

#include "tests/support/Loopback.h"

namespace testsupport {

/// A loopback listener whose accept queue is full: a connection attempt to it waits unanswered,
/// as one to a server that no longer keeps up (or to an address that drops the attempt).
class FullAcceptQueue {
public:
    /// On `port`, or on one the system picks (0).
    explicit FullAcceptQueue(int port = 0) : mListener(port) {
        // A backlog of 0 holds one connection that nobody accepts; later ones are left waiting.
        mReady = mListener.IsListening() && ::listen(mListener.Fd(), 0) == 0;
        mFiller = LoopbackConnection::Connect(mListener.Port());
        mReady = mReady && mFiller.IsOpen();
    }
    bool Ready() const { return mReady; }
    int Port() const { return mListener.Port(); }

private:
    LoopbackListener mListener;
    LoopbackConnection mFiller;
    bool mReady = false;
};

}  // namespace testsupport
