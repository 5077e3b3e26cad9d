#pragma once

#include <span>
#include <string>
#include <string_view>

#include "comlux/internal/SocketErrors.h"

namespace comlux {

/// How one socket step of the stream listener explains its failures: the line's prefix and the
/// Windows Sockets codes it knows.
struct ListenerErrorTable {
    std::string_view prefix;
    std::span<const SocketErrorRow> rows;
};

extern const ListenerErrorTable kCreateSocketErrors;
extern const ListenerErrorTable kBindSocketErrors;
extern const ListenerErrorTable kListenToSocketErrors;
extern const ListenerErrorTable kAcceptClientSocketErrors;
extern const ListenerErrorTable kRecieveErrors;
extern const ListenerErrorTable kCloseErrors;

/// The report line: prefix, "NAME - description" of the code's row ("UNKNOWN." when the table
/// does not know the code), then "  mStreamType: " and the stream's kind word.
std::string FormatListenerError(const ListenerErrorTable& table, int errorCode, std::string_view streamType);

}  // namespace comlux
