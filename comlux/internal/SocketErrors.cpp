#include "comlux/internal/SocketErrors.h"

#include <algorithm>
#include <cerrno>
#include <netdb.h>
#include <utility>

namespace comlux {

namespace {

constexpr std::pair<int, int> kErrnoToWsa[] = {
    {EINTR, WSAEINTR},
    {EACCES, WSAEACCES},
    {EPERM, WSAEACCES},
    {EFAULT, WSAEFAULT},
    {EINVAL, WSAEINVAL},
    {EMFILE, WSAEMFILE},
    {ENFILE, WSAEMFILE},
    {EWOULDBLOCK, WSAEWOULDBLOCK},
    {EINPROGRESS, WSAEINPROGRESS},
    {EALREADY, WSAEALREADY},
    {ENOTSOCK, WSAENOTSOCK},
    {EBADF, WSAENOTSOCK},
    {EMSGSIZE, WSAEMSGSIZE},
    {EPROTOTYPE, WSAEPROTOTYPE},
    {EPROTONOSUPPORT, WSAEPROTONOSUPPORT},
    {ESOCKTNOSUPPORT, WSAESOCKTNOSUPPORT},
    {EOPNOTSUPP, WSAEOPNOTSUPP},
    {EAFNOSUPPORT, WSAEAFNOSUPPORT},
    {EADDRINUSE, WSAEADDRINUSE},
    {EADDRNOTAVAIL, WSAEADDRNOTAVAIL},
    {ENETDOWN, WSAENETDOWN},
    {ENETUNREACH, WSAENETUNREACH},
    {ENETRESET, WSAENETRESET},
    {ECONNABORTED, WSAECONNABORTED},
    {ECONNRESET, WSAECONNRESET},
    {EPIPE, WSAECONNRESET},  // the peer is gone: what Windows reports for the same send
    {ENOBUFS, WSAENOBUFS},
    {ENOMEM, WSAENOBUFS},
    {EISCONN, WSAEISCONN},
    {ENOTCONN, WSAENOTCONN},
    {ESHUTDOWN, WSAESHUTDOWN},
    {ETIMEDOUT, WSAETIMEDOUT},
    {ECONNREFUSED, WSAECONNREFUSED},
    {EHOSTUNREACH, WSAEHOSTUNREACH},
    {EHOSTDOWN, WSAEHOSTUNREACH},
};

constexpr std::pair<int, int> kResolverToWsa[] = {
    {EAI_NONAME, WSAHOST_NOT_FOUND}, {EAI_AGAIN, WSATRY_AGAIN},    {EAI_FAIL, WSANO_RECOVERY},
    {EAI_NODATA, WSANO_DATA},        {EAI_ADDRFAMILY, WSANO_DATA}, {EAI_MEMORY, WSAENOBUFS},
};

int Lookup(std::span<const std::pair<int, int>> table, int key, int fallback) {
    const auto it =
        std::find_if(table.begin(), table.end(), [key](const auto& row) { return row.first == key; });
    return it == table.end() ? fallback : it->second;
}

}  // namespace

const SocketErrorRow* FindSocketError(std::span<const SocketErrorRow> table, int code) {
    const auto it = std::find_if(table.begin(), table.end(),
                                 [code](const SocketErrorRow& row) { return row.code == code; });
    return it == table.end() ? nullptr : &*it;
}

int WsaCodeFromErrno(int err) {
    return Lookup(kErrnoToWsa, err, 0);
}

int WsaCodeFromResolver(int eaiError, int err) {
    if (eaiError == EAI_SYSTEM) return WsaCodeFromErrno(err);
    return Lookup(kResolverToWsa, eaiError, WSANO_RECOVERY);
}

int LastSocketError() {
    return WsaCodeFromErrno(errno);
}

}  // namespace comlux
