#include "GalderaServer.h"

namespace galdera {

std::vector<ServerObject> DefaultObjects()
{
    return {{"SE1", "SEScAcqEnt"}, {"SE2", "SEScAcqEnt"}, {"SE3", "SEScAcqEnt"}, {"SE Ref", "SEScAcqEnt"},
            {"ST1", "STScAcqEnt"}, {"TT1", "TTScAcqEnt"}, {"TT2", "TTScAcqEnt"}, {"CSC1", "CscAcqEnt"},
            {"CSC2", "CscAcqEnt"}, {"CSC3", "CscAcqEnt"}, {"CSC4", "CscAcqEnt"}, {"VT1", "VTAcqEnt"},
            {"Events", "EventAcqEnt"}};
}

std::map<std::string, std::string> DefaultFeatures()
{
    return {{"ServerVersion", "1.0.0"}, {"AcqSystemCount", "1"}, {"DIOPortCount", "4"}};
}

class ServerCore {};

GalderaServer::GalderaServer(ServerOptions) {}
GalderaServer::~GalderaServer() = default;
bool GalderaServer::Start() { return false; }
void GalderaServer::Stop() {}
int GalderaServer::HandoutPort() const { return 0; }
int GalderaServer::CommandPort() const { return 0; }
std::vector<ReceivedCommand> GalderaServer::Received() const { return {}; }
bool GalderaServer::WaitForCommands(std::size_t, std::chrono::milliseconds) const { return false; }
void GalderaServer::SetFault(Fault, int) {}
void GalderaServer::SetAnswerOverride(std::function<std::optional<std::string>(const std::string&)>) {}

}  // namespace galdera
