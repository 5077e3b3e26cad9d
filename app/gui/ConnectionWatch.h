#pragma once

#include <set>
#include <sys/types.h>

namespace sequora::gui {

/// Notices that the server has closed the client's command connection while nothing is
/// sent, without reading or sending anything itself: the connection's socket is picked out
/// among the process's descriptors when the connection is made (the one socket opened since
/// BeforeConnecting whose peer is the command port), and later asked, without waiting,
/// whether its stream has ended. Linux only (/proc/self/fd); where a socket cannot be found,
/// nothing is watched.
/// Threads: used by one thread; the client may open and close sockets on other threads
/// meanwhile, which is why the socket is found again by its identity on every check.
class ConnectionWatch {
public:
    /// Notes the sockets open before a connection is made.
    void BeforeConnecting();
    /// Picks out the socket connected to `commandPort` since BeforeConnecting; false when
    /// there is none (nothing is watched then).
    bool Connected(int commandPort);
    /// Stops watching.
    void Forget() { mSocket = 0; }
    /// True when the watched socket has come to the end of its stream, has failed, or has
    /// been closed; false while it is open or when nothing is watched.
    bool PeerClosed() const;

private:
    std::set<ino_t> mBefore;  // the sockets open before the connection was made
    ino_t mSocket = 0;        // the watched socket's identity, 0 for none
};

}  // namespace sequora::gui
