#pragma once

#include "app/core/CommandSender.h"

namespace comlux {
class ComluxClient;
}

namespace sequora {

/// Sends the trial runner's commands through the client the window connected.
class ComluxCommandSender : public CommandSender {
public:
    /// `client` is not owned and must outlive this sender.
    explicit ComluxCommandSender(comlux::ComluxClient& client) : mClient(client) {}

    /// ComluxClient::SendCommand, which serialises it with the window's own requests.
    bool SendCommand(const std::string& command, std::string& answer) override;

private:
    comlux::ComluxClient& mClient;
};

}  // namespace sequora
