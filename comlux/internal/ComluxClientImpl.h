#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "comlux/ComluxClient.h"

namespace comlux {

class NetworkNodeClient;
class OperationGate;

// The client behind the public class, hidden from the library's users: the channel, the
// gate that serialises operations on it, and the ports. Its functions are the public ones;
// the class comment of ComluxClient holds for them.
// Threads: as there; the members' comments say what guards each.
class COMLUX_NO_EXPORT ComluxClient::Impl {
public:
    Impl();
    ~Impl();
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    bool OpenLogFile(const std::string& fileName);
    bool CloseLogFile();
    bool OpenConnection(const std::string& serverName, bool requestPort);
    bool CloseConnection();
    bool IsConnected();
    bool ServerClosedConnection();
    bool SendCommand(const std::string& command, std::string& answer);
    bool SendCommandRaw(const std::string& command, std::vector<unsigned char>& block, int& length);
    bool SetApplicationName(const std::string& name);
    bool SetComputerName();
    bool RequestRingBufferSize(const std::string& objectName, int& value1, int& value2);
    bool RequestRingBuffer(const std::string& objectName, unsigned char* buffer, int bufferSize,
                           int& bytesCopied);
    bool RequestSamplingFrequency(const std::string& objectName, int& frequency);
    bool RequestADRange(const std::string& objectName, int& value1, int& value2);
    bool RequestFeature(const std::string& featureName, int value, std::string& featureValue);
    bool LogMessage(const std::string& message, int value);
    bool GetObjectsAndTypes(std::vector<std::string>& objectNames, std::vector<std::string>& objectTypes);
    bool OpenStream(const std::string& objectName, const std::string& dataType);
    bool CloseStream(const std::string& objectName, const std::string& dataType);
    StreamState GetStreamState(StreamKind kind);
    std::string GetServerName();
    std::string GetServerIPAddress();
    std::string GetServerApplicationName();
    int GetCommandPort();
    void SetMessageHandler(MessageHandler handler);
    void SetPorts(int handoutPort, int commandPort);
    bool SetConnectTimeout(std::chrono::milliseconds timeout);
    bool SetSendTimeout(std::chrono::milliseconds timeout);
    bool SetAnswerTimeout(std::chrono::milliseconds timeout);

    /// Registers the record callback of the stream of `kind` (the public SetCallback operations).
    void SetCallback(StreamKind kind, RecordCallback callback, void* context);

private:
    bool ConnectThroughHandout(const std::string& serverName);
    bool ConnectAndInitializeStreams(const std::string& serverName, int port);
    bool SendAndReadReply(const std::string& command, std::string& answer);
    bool SetComputerNameLocked();
    bool RequestStatusValues(const std::string& command, int* first, int* second);

    // Serialises every operation that uses the channel; declared first, so it outlives the
    // channel and the receive threads that may still call in while the channel is destroyed.
    const std::unique_ptr<OperationGate> mGate;
    // The channel; the destructor resets it while mGate still stands.
    std::unique_ptr<NetworkNodeClient> mNetworkNode;
    int mHandoutPort = 26200;  // guarded by mGate
    int mCommandPort = 26100;  // guarded by mGate
    int mConnectedPort = 0;    // guarded by mGate
};

}  // namespace comlux
