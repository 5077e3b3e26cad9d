#include "galdera/GalderaServer.h"

#include "galdera/ServerCore.h"

namespace galdera {

std::vector<ServerObject> DefaultObjects() {
    return {{"SE1", "SEScAcqEnt"},    {"SE2", "SEScAcqEnt"}, {"SE3", "SEScAcqEnt"}, {"SE Ref", "SEScAcqEnt"},
            {"ST1", "STScAcqEnt"},    {"TT1", "TTScAcqEnt"}, {"TT2", "TTScAcqEnt"}, {"CSC1", "CscAcqEnt"},
            {"CSC2", "CscAcqEnt"},    {"CSC3", "CscAcqEnt"}, {"CSC4", "CscAcqEnt"}, {"VT1", "VTAcqEnt"},
            {"Events", "EventAcqEnt"}};
}

std::map<std::string, std::string> DefaultFeatures() {
    return {{"ServerVersion", "1.0.0"}, {"AcqSystemCount", "1"}, {"DIOPortCount", "4"}};
}

GalderaServer::GalderaServer(ServerOptions options)
    : mCore(std::make_unique<ServerCore>(std::move(options))) {}

GalderaServer::~GalderaServer() = default;

bool GalderaServer::Start() {
    return mCore->Start();
}

void GalderaServer::Stop() {
    mCore->Stop();
}

int GalderaServer::HandoutPort() const {
    return mCore->HandoutPort();
}

int GalderaServer::CommandPort() const {
    return mCore->CommandPort();
}

std::vector<ReceivedCommand> GalderaServer::Received() const {
    return mCore->Received();
}

bool GalderaServer::WaitForCommands(std::size_t count, std::chrono::milliseconds timeout) const {
    return mCore->WaitForCommands(count, timeout);
}

void GalderaServer::SetFault(Fault fault, int count) {
    mCore->SetFault(fault, count);
}

void GalderaServer::SetAnswerOverride(
    std::function<std::optional<std::string>(const std::string& command)> fn) {
    mCore->SetAnswerOverride(std::move(fn));
}

}  // namespace galdera
