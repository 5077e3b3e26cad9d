#include "app/core/ServerSession.h"

#include <climits>
#include <unistd.h>

#include "comlux/ComluxClient.h"

namespace sequora {

namespace {

const char kLogFileName[] = "Sequora Comlux Client Log File.txt";
const char kObjectsFailed[] = "Retrieval of Galdera Objects and Types was Failed";
const char kApplicationName[] = "Sequora";

}  // namespace

std::string ServerSession::LogFilePathBesideExecutable() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path) return kLogFileName;
    std::string executable(path, static_cast<std::size_t>(length));
    const std::size_t slash = executable.rfind('/');
    if (slash == std::string::npos) return kLogFileName;
    return executable.substr(0, slash + 1) + kLogFileName;
}

bool ServerSession::Connect(const std::string& serverName, const ShowMessage& show) {
    if (!mClient.OpenConnection(serverName, true)) {
        show(kConnectionFailed);
        return false;
    }
    mConnected = true;
    mClient.SetApplicationName(kApplicationName);
    if (!mClient.GetObjectsAndTypes(mObjectNames, mObjectTypes)) show(kObjectsFailed);
    return true;
}

void ServerSession::Disconnect() {
    mClient.CloseConnection();
    mConnected = false;
}

}  // namespace sequora
