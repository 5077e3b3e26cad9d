#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "comlux/MessageHandler.h"
#include "comlux/RecordCallback.h"

namespace comlux {

class NetworkNodeClient;

/// The client library's one entry point for applications: turns requests into command texts,
/// sends them over the command channel and converts the answers.
/// Operations are serialised internally, so a command and its answer never interleave with
/// another caller's; CloseConnection may be called while another thread waits for an answer.
class ComluxClient {
public:
    /// Creates the command channel (which owns the log file and the stream listeners).
    ComluxClient();
    /// Shuts the channel down and closes the log file.
    virtual ~ComluxClient();
    ComluxClient(const ComluxClient&) = delete;
    ComluxClient& operator=(const ComluxClient&) = delete;

    /// Opens (replaces) the client log file; true on success.
    bool OpenLogFile(std::string fileName);
    /// Connects through the port hand-out (requestPort) or straight to the command port,
    /// then sets up the six data streams and announces this computer's name.
    bool OpenConnection(std::string serverName, bool requestPort);
    /// Closes open streams, the listeners and the command connection. Does not wait for a
    /// command of another thread to be answered: that wait is cut short.
    bool CloseConnection();
    /// Sends the command; true with the answer's text (answer unchanged on failure).
    bool SendCommand(std::string command, std::string& answer);
    /// Sends the command; true with the raw answer payload in `block` and its size in `length`.
    bool SendCommandRaw(std::string command, std::vector<unsigned char>& block, int& length);
    /// Sends "-SetApplicationName" with the name in double quotes.
    bool SetApplicationName(std::string name);
    /// Sends "-SetComputerName " with this computer's name.
    bool SetComputerName();
    /// Status answer with two values; true when the status is 0 or more.
    bool RequestRingBufferSize(std::string objectName, int& value1, int& value2);
    /// Copies at most bufferSize bytes of the raw answer into buffer (zero-filled first).
    bool RequestRingBuffer(std::string objectName, unsigned char* buffer, int bufferSize, int& bytesCopied);
    /// Status answer with one value; true when the status is 0 or more.
    bool RequestSamplingFrequency(std::string objectName, int& frequency);
    /// Status answer with two values; true when the status is 0 or more.
    bool RequestADRange(std::string objectName, int& value1, int& value2);
    /// "status value-text" answer; true with the text after the first blank when status >= 0.
    bool RequestFeature(std::string featureName, int value, std::string& featureValue);
    /// Sends "-LogMessage <message> <value>"; true when the answer was read.
    bool LogMessage(std::string message, int value);
    /// Fetches the server's object names and their data types (parallel lists).
    bool GetObjectsAndTypes(std::vector<std::string>& objectNames, std::vector<std::string>& objectTypes);
    /// Opens the data stream of one server object.
    bool OpenStream(std::string objectName, std::string dataType);
    /// Closes the data stream of one server object.
    bool CloseStream(std::string objectName, std::string dataType);

    /// Registers the record callback of the single-electrode stream.
    void SetCallbackSE(RecordCallback callback, void* context);
    /// Registers the record callback of the stereotrode stream.
    void SetCallbackST(RecordCallback callback, void* context);
    /// Registers the record callback of the tetrode stream.
    void SetCallbackTT(RecordCallback callback, void* context);
    /// Registers the record callback of the continuously sampled channel stream.
    void SetCallbackCSC(RecordCallback callback, void* context);
    /// Registers the record callback of the event stream.
    void SetCallbackEV(RecordCallback callback, void* context);
    /// Registers the record callback of the video tracker stream.
    void SetCallbackVT(RecordCallback callback, void* context);

    /// The server name as passed to the last connection, or "Not Connected".
    std::string GetServerName();
    /// The server's IPv4 address in dotted decimal, or "Not Connected".
    std::string GetServerIPAddress();
    /// The server's application name (kept after a disconnect), or "Not Connected".
    std::string GetServerApplicationName();

    /// Installs how corrupt-answer messages reach the user (default: stderr).
    void SetMessageHandler(MessageHandler handler);
    /// Ports for the hand-out and the command connection (defaults 26200 / 26100).
    void SetPorts(int handoutPort, int commandPort);
    /// Longest wait for the server to accept a connection, on the hand-out port and on the
    /// command port alike (default 5 s).
    void SetConnectTimeout(std::chrono::milliseconds timeout);
    /// Longest time one command may take to be sent before the connection is given up (default 10 s).
    void SetSendTimeout(std::chrono::milliseconds timeout);
    /// Longest wait for a whole answer, from the moment its command was sent, before the
    /// connection is given up (default 10 s).
    void SetAnswerTimeout(std::chrono::milliseconds timeout);

private:
    bool ConnectThroughHandout(const std::string& serverName);
    bool ConnectAndInitializeStreams(const std::string& serverName, int port);
    bool SendAndReadReply(const std::string& command, std::string& answer);
    bool SetComputerNameLocked();
    bool RequestStatusValues(const std::string& command, int* first, int* second);

    std::mutex mLock;  // serialises every operation that uses the channel
    std::unique_ptr<NetworkNodeClient> mNetworkNode;
    int mHandoutPort = 26200;  // guarded by mLock
    int mCommandPort = 26100;  // guarded by mLock
};

}  // namespace comlux
