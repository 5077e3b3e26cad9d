#pragma once

#include "app/core/CommandSender.h"

namespace comlux {
class ComluxClient;
}

namespace sequora {

/// Sends the trial runner's commands through the client the window connected.
///
/// Threads: SendCommand and LastFailure are called by one thread at a time (the run's
/// worker); Connected may be called from any thread.
class ComluxCommandSender : public CommandSender {
public:
    /// `client` is not owned and must outlive this sender.
    explicit ComluxCommandSender(comlux::ComluxClient& client) : mClient(client) {}

    /// ComluxClient::SendCommand, which serialises it with the window's own requests; on
    /// failure, notes whether the connection was there before and is still there after.
    bool SendCommand(const std::string& command, std::string& answer) override;
    /// The failure noted by the last SendCommand that failed.
    SendFailure LastFailure() const override { return mLastFailure; }
    /// ComluxClient::IsConnected.
    bool Connected() override;

private:
    comlux::ComluxClient& mClient;
    SendFailure mLastFailure = SendFailure::NotConnected;  // written by the sending thread
};

}  // namespace sequora
