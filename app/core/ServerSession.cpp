#include "app/core/ServerSession.h"

#include "comlux/ComluxClient.h"

namespace sequora {

namespace {

const char kObjectsFailed[] = "Retrieval of Galdera Objects and Types was Failed";
const char kApplicationName[] = "Sequora";

}  // namespace

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
