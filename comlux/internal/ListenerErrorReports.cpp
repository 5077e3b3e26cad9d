#include "comlux/internal/ListenerErrorReports.h"

namespace comlux {

namespace {

constexpr std::string_view kNotInitialised =
    "A successful WSAStartup call must occur before using this function.";
constexpr std::string_view kInProgress =
    "A blocking Windows Sockets 1.1 call is in progress, or the service provider is still "
    "processing a callback function.";
constexpr std::string_view kNetDownProvider =
    "The network subsystem or the associated service provider has failed.";
constexpr std::string_view kNetDown = "The network subsystem has failed.";
constexpr std::string_view kNotSocket = "The descriptor is not a socket.";
constexpr std::string_view kNoBuffersCreate = "No buffer space is available. The socket cannot be created.";
constexpr std::string_view kNoBuffers = "No buffer space is available.";
constexpr std::string_view kInterrupted =
    "The (blocking) Windows Socket 1.1 call was canceled through WSACancelBlockingCall.";
constexpr std::string_view kLingering =
    "The socket is marked as nonblocking and SO_LINGER is set to a nonzero time-out value.";

constexpr SocketErrorRow kCreateSocketRows[] = {
    {WSANOTINITIALISED, "WSANOTINITIALISED", kNotInitialised},
    {WSAENETDOWN, "WSAENETDOWN", kNetDownProvider},
    {WSAEAFNOSUPPORT, "WSAEAFNOSUPPORT", "The specified address family is not supported."},
    {WSAEINPROGRESS, "WSAEINPROGRESS", kInProgress},
    {WSAEMFILE, "WSAEMFILE", "No more socket descriptors are available."},
    {WSAENOBUFS, "WSAENOBUFS", kNoBuffersCreate},
    {WSAEPROTONOSUPPORT, "WSAEPROTONOSUPPORT", "The specified protocol is not supported."},
    {WSAEPROTOTYPE, "WSAEPROTOTYPE", "The specified protocol is the wrong type for this socket."},
    {WSAESOCKTNOSUPPORT, "WSAESOCKTNOSUPPORT",
     "The specified socket type is not supported in this address family."},
};

constexpr SocketErrorRow kBindSocketRows[] = {
    {WSANOTINITIALISED, "WSANOTINITIALISED", kNotInitialised},
    {WSAENETDOWN, "WSAENETDOWN", kNetDownProvider},
    {WSAEACCES, "WSAEACCES",
     "Attempt to connect datagram socket to broadcast address failed because setsockopt option "
     "SO_BROADCAST is not enabled."},
    {WSAEADDRINUSE, "WSAEADDRINUSE",
     "A process on the computer is already bound to the same fully-qualified address and the "
     "socket has not been marked to allow address reuse with SO_REUSEADDR."},
    {WSAEADDRNOTAVAIL, "WSAEADDRNOTAVAIL", "The specified address is not a valid address for this computer."},
    {WSAEFAULT, "WSAEFAULT", "The name or namelen parameter is not a valid part of the user address space."},
    {WSAEINPROGRESS, "WSAEINPROGRESS", kInProgress},
    {WSAEINVAL, "WSAEINVAL", "The socket is already bound to an address."},
    {WSAENOBUFS, "WSAENOBUFS", kNoBuffersCreate},
    {WSAENOTSOCK, "WSAENOTSOCK", kNotSocket},
};

constexpr SocketErrorRow kListenToSocketRows[] = {
    {WSANOTINITIALISED, "WSANOTINITIALISED", kNotInitialised},
    {WSAENETDOWN, "WSAENETDOWN", kNetDownProvider},
    {WSAEADDRINUSE, "WSAEADDRINUSE",
     "The socket's local address is already in use and the socket was not marked to allow "
     "address reuse with SO_REUSEADDR."},
    {WSAEINPROGRESS, "WSAEINPROGRESS", kInProgress},
    {WSAEINVAL, "WSAEINVAL", "The socket has not been bound with bind."},
    {WSAEISCONN, "WSAEISCONN", "The socket is already connected."},
    {WSAEMFILE, "WSAEMFILE", "No more socket descriptors are available."},
    {WSAENOBUFS, "WSAENOBUFS", kNoBuffers},
    {WSAENOTSOCK, "WSAENOTSOCK", kNotSocket},
    {WSAEOPNOTSUPP, "WSAEOPNOTSUPP",
     "The referenced socket is not of a type that supports the listen operation."},
};

constexpr SocketErrorRow kAcceptClientSocketRows[] = {
    {WSANOTINITIALISED, "WSANOTINITIALISED", kNotInitialised},
    {WSAENETDOWN, "WSAENETDOWN", kNetDownProvider},
    {WSAEFAULT, "WSAEFAULT",
     "The addrlen parameter is too small or addr is not a valid part of the user address space."},
    {WSAEINTR, "WSAEINTR", "A blocking Windows Sockets 1.1 call was canceled through WSACancelBlockingCall."},
    {WSAEINPROGRESS, "WSAEINPROGRESS", kInProgress},
    {WSAEINVAL, "WSAEINVAL", "The listen function was not invoked prior to accept."},
    {WSAEMFILE, "WSAEMFILE",
     "The queue is nonempty upon entry to accept and there are no descriptors available."},
    {WSAENOBUFS, "WSAENOBUFS", kNoBuffers},
    {WSAENOTSOCK, "WSAENOTSOCK", kNotSocket},
    {WSAEOPNOTSUPP, "WSAEOPNOTSUPP",
     "The referenced socket is not of a type that supports connection-oriented service."},
    {WSAEWOULDBLOCK, "WSAEWOULDBLOCK",
     "The socket is marked as nonblocking and no connections are present to be accepted."},
};

constexpr SocketErrorRow kRecieveRows[] = {
    {WSANOTINITIALISED, "WSANOTINITIALISED", kNotInitialised},
    {WSAENETDOWN, "WSAENETDOWN", kNetDown},
    {WSAEFAULT, "WSAEFAULT",
     "The buf parameter is not completely contained in a valid part of the user address space."},
    {WSAENOTCONN, "WSAENOTCONN", "The socket is not connected."},
    {WSAEINTR, "WSAEINTR", kInterrupted},
    {WSAEINPROGRESS, "WSAEINPROGRESS", kInProgress},
    {WSAENETRESET, "WSAENETRESET",
     "The connection has been broken due to the keep-alive activity detecting a failure while the "
     "operation was in progress."},
    {WSAENOTSOCK, "WSAENOTSOCK", kNotSocket},
    {WSAEOPNOTSUPP, "WSAEOPNOTSUPP",
     "MSG_OOB was specified, but the socket is not stream-style such as type SOCK_STREAM, OOB data "
     "is not supported in the communication domain associated with this socket, or the socket is "
     "unidirectional and supports only receive operations."},
    {WSAESHUTDOWN, "WSAESHUTDOWN",
     "The socket has been shut down; it is not possible to send on a socket after shutdown has "
     "been invoked with how set to SD_SEND or SD_BOTH."},
    {WSAEWOULDBLOCK, "WSAEWOULDBLOCK", kLingering},
    {WSAEMSGSIZE, "WSAEMSGSIZE",
     "The socket is message oriented, and the message is larger than the maximum supported by the "
     "underlying transport."},
    {WSAECONNABORTED, "WSAECONNABORTED",
     "The virtual circuit was terminated due to a time-out or other failure. The application "
     "should close the socket as it is no longer usable."},
    {WSAECONNRESET, "WSAECONNRESET",
     "The virtual circuit was reset by the remote side executing a hard or abortive close. For "
     "UPD sockets, the remote host was unable to deliver a previously sent UDP datagram and "
     "responded with a 'Port Unreachable' ICMP packet. The application should close the socket "
     "as it is no longer usable."},
    {WSAETIMEDOUT, "WSAETIMEDOUT",
     "The connection has been dropped, because of a network failure or because the system on the "
     "other end went down without notice."},
};

constexpr SocketErrorRow kCloseRows[] = {
    {WSANOTINITIALISED, "WSANOTINITIALISED", kNotInitialised},
    {WSAENETDOWN, "WSAENETDOWN", kNetDown},
    {WSAENOTSOCK, "WSAENOTSOCK", kNotSocket},
    {WSAEINPROGRESS, "WSAEINPROGRESS", kInProgress},
    {WSAEINTR, "WSAEINTR", kInterrupted},
    {WSAEWOULDBLOCK, "WSAEWOULDBLOCK", kLingering},
};

}  // namespace

const ListenerErrorTable kCreateSocketErrors{
    "NodeConnectionClient::CreateSocket() - Error Creating Socket, error code: ", kCreateSocketRows};
const ListenerErrorTable kBindSocketErrors{
    "NodeConnectionClient::BindSocket() - Error Binding Socket, error code: ", kBindSocketRows};
const ListenerErrorTable kListenToSocketErrors{
    "NodeConnectionClient::ListenToSocket() - Error Listening To Socket, error code: ", kListenToSocketRows};
const ListenerErrorTable kAcceptClientSocketErrors{
    "NodeConnectionClient::AcceptClientSocket() - Error Accepting Socket, error code: ",
    kAcceptClientSocketRows};
const ListenerErrorTable kRecieveErrors{
    "NodeConnectionClient::ProcessRecieveError() - Error recieving data, error code: ", kRecieveRows};
const ListenerErrorTable kCloseErrors{
    "NodeConnectionClient::ProcessCloseError() - Error closing socket, error code: ", kCloseRows};

std::string FormatListenerError(const ListenerErrorTable& table, int errorCode, std::string_view streamType) {
    std::string line(table.prefix);
    if (const SocketErrorRow* row = FindSocketError(table.rows, errorCode)) {
        line.append(row->name).append(" - ").append(row->description);
    } else {
        // Every listener failure stops a stream, so even a code no row names leaves a line.
        line.append("UNKNOWN.");
    }
    line.append("  mStreamType: ").append(streamType);
    return line;
}

}  // namespace comlux
