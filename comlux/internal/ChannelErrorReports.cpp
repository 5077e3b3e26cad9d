#include "comlux/internal/ChannelErrorReports.h"

#include <algorithm>
#include <array>

#include "comlux/internal/SocketErrors.h"

namespace comlux {

namespace {

constexpr unsigned Bit(ChannelReporter r) {
    return 1u << static_cast<unsigned>(r);
}

constexpr unsigned kStartup = Bit(ChannelReporter::SocketStartup);
constexpr unsigned kCreate = Bit(ChannelReporter::CreateSocket);
constexpr unsigned kInfo = Bit(ChannelReporter::GetServerInfo);
constexpr unsigned kConnect = Bit(ChannelReporter::ConnectToServer);
constexpr unsigned kSend = Bit(ChannelReporter::ProcessSendError);
constexpr unsigned kRecv = Bit(ChannelReporter::ProcessRecieveError);
constexpr unsigned kClose = Bit(ChannelReporter::ProcessCloseError);

constexpr std::array<std::string_view, 7> kPrefixes = {
    "NetworkNodeClient::SocketStartup() - Error requesting Socket Startup, return code: ",
    "NetworkNodeClient::CreateSocket() - Error Creating Socket, error code: ",
    "NetworkNodeClient::GetServerInfo() - Error Getting Server Name, error code: ",
    "NetworkNodeClient::ConnectToServer() - Error Connecting To Server, error code: ",
    "NetworkNodeClient::ProcessSendError() - Error sending data, error code: ",
    "NetworkNodeClient::ProcessRecieveError() - Error recieving data, error code: ",
    "NetworkNodeClient::ProcessCloseError() - Error closing socket, error code: ",
};

constexpr ChannelErrorRow kRows[] = {
    {WSAEINTR, "WSAEINTR", "A blocking Windows Socket 1.1 call was canceled through WSACancelBlockingCall.",
     kInfo},
    {WSAEINTR, "WSAEINTR", "The blocking Windows Socket 1.1 call was canceled through WSACancelBlockingCall.",
     kConnect},
    {WSAEINTR, "WSAEINTR",
     "The (blocking) Windows Socket 1.1 call was canceled through WSACancelBlockingCall.",
     kSend | kRecv | kClose},
    {WSAEACCES, "WSAEACCES",
     "Attempt to connect datagram socket to broadcast address failed because setsockopt option SO_BROADCAST "
     "is not enabled.",
     kConnect},
    {WSAEACCES, "WSAEACCES",
     "The requested address is a broadcast address, but the appropriate flag was not set. Call setsockopt "
     "with the SO_BROADCAST parameter to allow the use of the broadcast address.",
     kSend},
    {WSAEFAULT, "WSAEFAULT", "The lpWSAData is not a valid pointer.", kStartup},
    {WSAEFAULT, "WSAEFAULT", "The name parameter is not a valid part of the user address space.", kInfo},
    {WSAEFAULT, "WSAEFAULT",
     "The name or the namelen parameter is not a valid part of the user address space.", kConnect},
    {WSAEFAULT, "WSAEFAULT",
     "The buf parameter is not completely contained in a valid part of the user address space.",
     kSend | kRecv},
    {WSAEINVAL, "WSAEINVAL", "The parameter s is a listening socket.", kConnect},
    {WSAEINVAL, "WSAEINVAL",
     "The socket has not been bound with bind, or an unknown flag was specified, or MSG_OOB was specified "
     "for a socket with SO_OOBINLINE enabled.",
     kSend},
    {WSAEMFILE, "WSAEMFILE", "No more socket descriptors are available.", kCreate},
    {WSAEWOULDBLOCK, "WSAEWOULDBLOCK",
     "The socket is marked as nonblocking and the connection cannot be completed immediately.", kConnect},
    {WSAEWOULDBLOCK, "WSAEWOULDBLOCK",
     "The socket is marked as nonblocking and SO_LINGER is set to a nonzero time-out value.",
     kSend | kRecv | kClose},
    {WSAEINPROGRESS, "WSAEINPROGRESS", "A blocking Windows Sockets 1.1 operation is in progress.", kStartup},
    {WSAEINPROGRESS, "WSAEINPROGRESS",
     "A blocking Windows Sockets 1.1 call is in progress, or the service provider is still processing a "
     "callback function.",
     kCreate | kInfo | kConnect | kSend | kRecv | kClose},
    {WSAEALREADY, "WSAEALREADY", "A nonblocking connect call is in progress on the specified socket. ",
     kConnect},
    {WSAENOTSOCK, "WSAENOTSOCK", "The descriptor is not a socket.", kConnect | kSend | kRecv | kClose},
    {WSAEMSGSIZE, "WSAEMSGSIZE",
     "The socket is message oriented, and the message is larger than the maximum supported by the underlying "
     "transport.",
     kSend | kRecv},
    {WSAEPROTOTYPE, "WSAEPROTOTYPE", "The specified protocol is the wrong type for this socket.", kCreate},
    {WSAEPROTONOSUPPORT, "WSAEPROTONOSUPPORT", "The specified protocol is not supported.", kCreate},
    {WSAESOCKTNOSUPPORT, "WSAESOCKTNOSUPPORT",
     "The specified socket type is not supported in this address family.", kCreate},
    {WSAEOPNOTSUPP, "WSAEOPNOTSUPP",
     "MSG_OOB was specified, but the socket is not stream-style such as type SOCK_STREAM, OOB data is not "
     "supported in the communication domain associated with this socket, or the socket is unidirectional and "
     "supports only receive operations.",
     kSend | kRecv},
    {WSAEAFNOSUPPORT, "WSAEAFNOSUPPORT", "The specified address family is not supported.", kCreate},
    {WSAEAFNOSUPPORT, "WSAEAFNOSUPPORT", "Addresses in the specified family cannot be used with this socket.",
     kConnect},
    {WSAEADDRINUSE, "WSAEADDRINUSE",
     "The socket's local address is already in use and the socket was not marked to allow address reuse with "
     "SO_REUSEADDR.",
     kConnect},
    {WSAEADDRNOTAVAIL, "WSAEADDRNOTAVAIL", "The remote address is not a valid address (such as ADDR_ANY).",
     kConnect},
    {WSAENETDOWN, "WSAENETDOWN", "The network subsystem or the associated service provider has failed.",
     kCreate},
    {WSAENETDOWN, "WSAENETDOWN", "The network subsystem has failed.",
     kInfo | kConnect | kSend | kRecv | kClose},
    {WSAENETUNREACH, "WSAENETUNREACH", "The network cannot be reached from this host at this time.",
     kConnect},
    {WSAENETRESET, "WSAENETRESET",
     "The connection has been broken due to the keep-alive activity detecting a failure while the operation "
     "was in progress.",
     kSend | kRecv},
    {WSAECONNABORTED, "WSAECONNABORTED",
     "The virtual circuit was terminated due to a time-out or other failure. The application should close "
     "the socket as it is no longer usable.",
     kSend | kRecv},
    {WSAECONNRESET, "WSAECONNRESET",
     "The virtual circuit was reset by the remote side executing a hard or abortive close. For UPD sockets, "
     "the remote host was unable to deliver a previously sent UDP datagram and responded with a 'Port "
     "Unreachable' ICMP packet. The application should close the socket as it is no longer usable.",
     kSend | kRecv},
    {WSAENOBUFS, "WSAENOBUFS", "No buffer space is available. The socket cannot be created.", kCreate},
    {WSAENOBUFS, "WSAENOBUFS", "No buffer space is available. The socket cannot be connected.", kConnect},
    {WSAENOBUFS, "WSAENOBUFS", "No buffer space is available.", kSend},
    {WSAEISCONN, "WSAEISCONN", "The socket is already connected (connection-oriented sockets only).",
     kConnect},
    {WSAENOTCONN, "WSAENOTCONN", "The socket is not connected.", kSend | kRecv},
    {WSAESHUTDOWN, "WSAESHUTDOWN",
     "The socket has been shut down; it is not possible to send on a socket after shutdown has been invoked "
     "with how set to SD_SEND or SD_BOTH.",
     kSend | kRecv},
    {WSAETIMEDOUT, "WSAETIMEDOUT", "Attempt to connect timed out without establishing a connection.",
     kConnect},
    {WSAETIMEDOUT, "WSAETIMEDOUT",
     "The connection has been dropped, because of a network failure or because the system on the other end "
     "went down without notice.",
     kSend | kRecv},
    {WSAECONNREFUSED, "WSAECONNREFUSED", "The attempt to connect was forcefully rejected.", kConnect},
    {WSAEHOSTUNREACH, "WSAEHOSTUNREACH", "The remote host cannot be reached from this host at this time.",
     kSend},
    {WSAEPROCLIM, "WSAEPROCLIM",
     "Limit on the number of tasks supported by the Windows Sockets implementation has been reached.",
     kStartup},
    {WSASYSNOTREADY, "WSASYSNOTREADY",
     "The underlying network subsystem is not ready for network communication.", kStartup},
    {WSAVERNOTSUPPORTED, "WSAVERNOTSUPPORTED",
     "The version of Windows Sockets support requested is not provided by this particular Windows Sockets "
     "implementation.",
     kStartup},
    {WSANOTINITIALISED, "WSANOTINITIALISED",
     "A successful WSAStartup call must occur before using this function.",
     kCreate | kInfo | kConnect | kSend | kRecv | kClose},
    {WSAHOST_NOT_FOUND, "WSAHOST_NOT_FOUND", "Authoritative answer host not found.", kInfo},
    {WSATRY_AGAIN, "WSATRY_AGAIN", "Nonauthoritative host not found, or server failure.", kInfo},
    {WSANO_RECOVERY, "WSANO_RECOVERY", "A nonrecoverable error occurred.", kInfo},
    {WSANO_DATA, "WSANO_DATA", "Valid name, no data record of requested type.", kInfo},
};

}  // namespace

std::span<const ChannelErrorRow> ChannelErrorRows() {
    return kRows;
}

std::string_view ChannelReporterPrefix(ChannelReporter reporter) {
    return kPrefixes[static_cast<unsigned>(reporter)];
}

std::optional<std::string> ChannelErrorReport(ChannelReporter reporter, int code) {
    const auto it = std::find_if(std::begin(kRows), std::end(kRows), [&](const ChannelErrorRow& row) {
        return row.code == code && (row.reporters & Bit(reporter)) != 0;
    });
    if (it == std::end(kRows)) return std::nullopt;
    std::string line(ChannelReporterPrefix(reporter));
    line += it->name;
    line += " - ";
    line += it->description;
    return line;
}

}  // namespace comlux
