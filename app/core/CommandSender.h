#pragma once

#include <string>

namespace sequora {

/// Why a command could not be sent or answered.
enum class SendFailure {
    NotConnected,     ///< there was no connection when the command was to be sent
    ConnectionLost,   ///< the connection broke (or was given up) during the exchange
    AnswerUnreadable  ///< the answer could not be read, but the connection is still up
};

/// Where the trial runner sends its command texts: the window's client in the program,
/// a recording double in tests.
class CommandSender {
public:
    virtual ~CommandSender() = default;

    /// Sends one command and waits for its answer; true when the exchange succeeded.
    virtual bool SendCommand(const std::string& command, std::string& answer) = 0;
    /// Why the last SendCommand that returned false failed. Asked on the sending thread
    /// right after the failure.
    virtual SendFailure LastFailure() const { return SendFailure::ConnectionLost; }
    /// True while commands can reach the server (a connection is up).
    virtual bool Connected() { return true; }
};

}  // namespace sequora
