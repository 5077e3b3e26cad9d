#pragma once

#include <string>

namespace sequora {

/// Where the trial runner sends its command texts: the window's client in the program,
/// a recording double in tests.
class CommandSender {
public:
    virtual ~CommandSender() = default;

    /// Sends one command and waits for its answer; true when the exchange succeeded.
    virtual bool SendCommand(const std::string& command, std::string& answer) = 0;
};

}  // namespace sequora
