#pragma once

#include <functional>
#include <string>
#include <vector>

namespace comlux {
class ComluxClient;
}

namespace sequora {

/// The connection procedure shared by the window and sequora-run: connect with the port
/// request, announce the application, fetch the server's objects and types; disconnect.
class ServerSession {
public:
    /// Shows one of the procedure's messages to the user and returns when it was seen.
    using ShowMessage = std::function<void(const std::string& text)>;

    /// The message of a connection that could not be made.
    static constexpr char kConnectionFailed[] = "Connection Failed, Please check log file for details";

    /// `client` is not owned and must outlive the session.
    explicit ServerSession(comlux::ComluxClient& client) : mClient(client) {}

    /// Connects to `serverName`. On failure shows "Connection Failed, Please check log
    /// file for details" and returns false. On success sets the application name
    /// "Sequora" and fetches the objects and types; when that fails it shows "Retrieval of
    /// Galdera Objects and Types was Failed" but stays connected. Returns true when connected.
    bool Connect(const std::string& serverName, const ShowMessage& show);
    /// Closes the connection (also when not connected: the client then only logs a warning).
    void Disconnect();

    /// True between a successful Connect and the next Disconnect.
    bool Connected() const { return mConnected; }
    /// The server's object names from the last Connect.
    const std::vector<std::string>& ObjectNames() const { return mObjectNames; }
    /// The objects' types, parallel to ObjectNames().
    const std::vector<std::string>& ObjectTypes() const { return mObjectTypes; }

private:
    comlux::ComluxClient& mClient;
    bool mConnected = false;
    std::vector<std::string> mObjectNames;
    std::vector<std::string> mObjectTypes;
};

}  // namespace sequora
