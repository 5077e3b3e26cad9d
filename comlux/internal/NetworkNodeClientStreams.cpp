// The stream side of the command channel: listener set-up, opening and closing object streams,
// the server's object and type lists.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

#include "comlux/HostNames.h"
#include "comlux/StreamKinds.h"
#include "comlux/internal/AnswerNumbers.h"
#include "comlux/internal/NetworkNodeClient.h"
#include "comlux/internal/ParseCommandString.h"
#include "comlux/internal/StreamAddress.h"

namespace comlux {

namespace {

std::string Dotted(const in_addr& address) {
    return DottedAddress(reinterpret_cast<const unsigned char*>(&address.s_addr));
}

std::string HostNameAddress() {
    const std::string hostName = ComputerName();
    if (hostName.empty()) return {};
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (::getaddrinfo(hostName.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return {};
    std::string address = Dotted(reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr);
    ::freeaddrinfo(found);
    return address;
}

}  // namespace

int NetworkNodeClient::InitializeConnectionNodes() {
    int status = 0;
    int port = 0;
    int* const values[] = {&status, &port};
    const std::string localAddress = GetLocalIPAddress();
    const std::string serverAddress = CommandPeerAddress();
    for (NodeConnectionClient& listener : mStreams) {
        std::string answer;
        SendCommand("-GetNextAvailablePortNumber");
        GetReply(answer);
        // A port that cannot be read is no port: the previous listener's must not be taken for it.
        port = 0;
        ReadAnswerIntegers(answer, values);
        if (status != 0) {
            mClientLog.WriteEntry(Error,
                                  "NetworkNodeClient::InitializeConnectionNodes() - call to get next port "
                                  "number failed, unable to initialize server streams.");
            return -1;
        }
        // The listener waits on the address the server is told, and only for the server.
        listener.SetEndpoints(localAddress, serverAddress);
        listener.InitServerStream(port);
        SendCommand("-CreateStream " + localAddress + " " + std::to_string(port) + " " +
                    std::string(InfoOf(listener.Kind()).dataType));
        GetReply(answer);
    }
    mStreamsInitialized = true;
    return 0;
}

// The address the command connection reaches the server at: the address its streams come from.
std::string NetworkNodeClient::CommandPeerAddress() {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(mSocket.Fd(), reinterpret_cast<sockaddr*>(&peer), &length) == 0 &&
        peer.sin_family == AF_INET)
        return Dotted(peer.sin_addr);
    return GetServerIPAddress();
}

// The address the server connects back to (see ChooseStreamAddress).
std::string NetworkNodeClient::GetLocalIPAddress() {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    std::string commandLocalAddress;
    if (::getsockname(mSocket.Fd(), reinterpret_cast<sockaddr*>(&local), &length) == 0 &&
        local.sin_family == AF_INET)
        commandLocalAddress = Dotted(local.sin_addr);
    if (IsLoopbackAddress(commandLocalAddress)) return commandLocalAddress;
    return ChooseStreamAddress(commandLocalAddress, HostNameAddress());
}

bool NetworkNodeClient::OpenStream(const std::string& objectName, const std::string& dataType) {
    if (!mInitialized) return false;
    bool paired = false;
    for (std::size_t i = 0; i < mServerObjects.size() && i < mServerTypes.size() && !paired; ++i) {
        paired = mServerObjects[i] == objectName && mServerTypes[i] == dataType;
    }
    if (!paired) {
        mClientLog.WriteEntry(
            Error,
            "NetworkNodeClient::OpenStream() - Error, invalid parameter, unrecognized object "
            "name and data type pairing.  objectName: " +
                objectName + ", dataType: " + dataType);
        return false;
    }
    const std::optional<StreamKind> kind = StreamKindOfDataType(dataType);
    if (!kind) {
        mClientLog.WriteEntry(Error,
                              "NetworkNodeClient::OpenStream() - Error, invalid parameter, unrecognized data "
                              "type.  dataType: " +
                                  dataType);
        return false;
    }
    if (!Stream(*kind).AddStreamObject(objectName)) return false;
    std::string answer;
    SendCommand("-OpenStream " + objectName + " " + dataType);
    GetReply(answer);
    return true;
}

bool NetworkNodeClient::CloseStream(const std::string& objectName, const std::string& dataType) {
    const std::optional<StreamKind> kind = StreamKindOfDataType(dataType);
    if (!kind) {
        mClientLog.WriteEntry(
            Error,
            "NetworkNodeClient::CloseStream() - Error, invalid parameter, unrecognized data "
            "type.  dataType: " +
                dataType);
        return false;
    }
    if (!Stream(*kind).RemoveStreamObject(objectName)) return false;
    std::string answer;
    SendCommand("-CloseStream " + objectName + " " + dataType);
    GetReply(answer);
    return true;
}

void NetworkNodeClient::ShutdownStreams() {
    // Objects without a type at their position were never opened: there is nothing to close.
    const std::vector<std::string> objects = mServerObjects;
    const std::vector<std::string> types = mServerTypes;
    for (std::size_t i = 0; i < objects.size() && i < types.size(); ++i) CloseStream(objects[i], types[i]);
    for (NodeConnectionClient& listener : mStreams) listener.CloseServerStream();
}

void NetworkNodeClient::WaitForEarlierCallbacks(StreamKind kind) {
    Stream(kind).WaitForEarlierCallbacks();
}

void NetworkNodeClient::SetStopObserver(const std::function<void()>& observer) {
    for (NodeConnectionClient& listener : mStreams) listener.SetStopObserver(observer);
}

void NetworkNodeClient::SetCallback(StreamKind kind, RecordCallback callback, void* context) {
    Stream(kind).SetCallback(callback, context);
}

bool NetworkNodeClient::RequestObjectsAndTypes(std::vector<std::string>& objects,
                                               std::vector<std::string>& types) {
    mServerObjects.clear();
    mServerTypes.clear();
    if (!RequestItemList("-RequestGalderaObjects", objects, mServerObjects)) return false;
    if (!RequestItemList("-RequestGalderaTypes", types, mServerTypes)) return false;
    for (NodeConnectionClient& listener : mStreams) listener.SetObjectNames(mServerObjects, mServerTypes);
    return true;
}

bool NetworkNodeClient::RequestItemList(const std::string& command, std::vector<std::string>& callerList,
                                        std::vector<std::string>& channelList) {
    std::string answer;
    if (!SendCommand(command) || !GetReply(answer)) return false;
    if (LeadingInteger(answer) != 0) return false;
    const auto space = answer.find(' ');
    if (space == std::string::npos) return false;
    // Split once; the caller gets a copy of the channel's list.
    ParseCommandString(std::string_view(answer).substr(space + 1), channelList);
    callerList = channelList;
    return true;
}

bool NetworkNodeClient::ParseCommandString(std::string_view text, std::vector<std::string>& tokens) {
    return comlux::ParseCommandString(text, tokens, &mClientLog);
}

}  // namespace comlux
