#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace comlux {

/// The command channel's operations that explain a failed socket call in the log.
enum class ChannelReporter : unsigned {
    SocketStartup,
    CreateSocket,
    GetServerInfo,
    ConnectToServer,
    ProcessSendError,
    ProcessRecieveError,
    ProcessCloseError,
};

/// One explanation of a Windows Sockets code, shared by the reporters in `reporters`
/// (a bit set indexed by ChannelReporter).
struct ChannelErrorRow {
    int code;
    std::string_view name;
    std::string_view description;
    unsigned reporters;
};

/// Every explanation the channel knows, one row per (code, wording).
std::span<const ChannelErrorRow> ChannelErrorRows();

/// The fixed beginning of each reporter's lines.
std::string_view ChannelReporterPrefix(ChannelReporter reporter);

/// The reporter's log line for `code`, or nothing when the reporter does not know the code.
std::optional<std::string> ChannelErrorReport(ChannelReporter reporter, int code);

}  // namespace comlux
