#pragma once

#include <string>
#include <vector>

#include "app/core/CommandSender.h"

namespace sequora {

/// The texts a trial run shows the user, each written once here.
namespace run_messages {

/// A run played every trial.
inline constexpr char kTrialsCompleted[] = "Trials Completed";
/// A row disappeared from the list before its turn came.
inline constexpr char kInvalidItemIndex[] = "Error Processing Item, invalid Item Index";
/// The worker thread could not be started.
inline constexpr char kThreadCreationFailed[] = "Error creating thread in OnBnClickedStart()";
/// What a window shows instead of starting a run while it has no connection.
inline constexpr char kStartNeedsConnection[] = "Not connected to the server: connect before starting a run.";

/// Why a command failed, as the failed-send message says it: "there is no connection to the
/// server", "the connection to the server was lost", "the server's answer could not be read".
const char* FailureReason(SendFailure failure);

/// The failure as the run journal's status column writes it: "no connection", "connection
/// lost", "answer unreadable".
const char* FailureStatus(SendFailure failure);

/// The journal's status of a command that never went out: "not sent: no connection", ...
const char* NotSentStatus(SendFailure failure);

/// What a Stop says when every reset was answered: "Reset bits 0, 5, 31." ("Reset bit 5.").
std::string BitsReset(const std::vector<int>& bits);

/// What a Stop says of a bit whose reset was not confirmed: "Bit 5 may still be on: <reason>."
std::string BitMayStillBeOn(int bit, const std::string& reason);

/// The reason given for the bits whose resets a second Ctrl-C abandoned.
inline constexpr char kResetsAbandoned[] = "its reset was abandoned";

/// The one message of a run ended by a failed command, e.g. `Run stopped: the connection to
/// the server was lost (trial 3, row 2, "-StartRecording").`
std::string FailedSend(SendFailure failure, long long trial, int row, const std::string& command);

/// The message of a Start refused because its journal cannot be written:
/// `The run journal cannot be written: <path> (<reason>)`.
std::string JournalNotWritable(const std::string& path, const std::string& reason);

}  // namespace run_messages
}  // namespace sequora
