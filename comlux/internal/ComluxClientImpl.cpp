#include "comlux/internal/ComluxClientImpl.h"

#include <algorithm>
#include <cstring>

#include "comlux/HostNames.h"
#include "comlux/internal/AnswerNumbers.h"
#include "comlux/internal/NetworkNodeClient.h"
#include "comlux/internal/OperationGate.h"

namespace comlux {

namespace {

// Holds the gate for one operation. The corrupt-answer messages the operation gave rise to are
// shown once the gate is let go: a message handler may then call the client, or wait for a thread
// that does, without waiting for itself.
class Operation {
public:
    explicit Operation(OperationGate& gate, const std::unique_ptr<NetworkNodeClient>& node,
                       bool onlyIfFree = false)
        : mEntry(gate, onlyIfFree), mNode(node) {}
    ~Operation() {
        if (!mEntry.Entered()) return;
        const NetworkNodeClient::HeldMessages held = mNode->TakeHeldMessages();
        mEntry.Leave();
        NetworkNodeClient::Show(held);
    }
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    bool Entered() const { return mEntry.Entered(); }
    bool Enter() { return mEntry.Enter(); }

private:
    GateEntry mEntry;
    const std::unique_ptr<NetworkNodeClient>& mNode;  // dereferenced only while the gate is held
};

}  // namespace

ComluxClient::Impl::Impl()
    : mGate(std::make_unique<OperationGate>()), mNetworkNode(std::make_unique<NetworkNodeClient>()) {
    // A record callback waiting for the gate must let go when its own listener is stopped by
    // the gate's holder, who may be waiting for it.
    mNetworkNode->SetStopObserver([this] { mGate->WakeReceiveThreads(); });
    mNetworkNode->HoldMessages();
}

ComluxClient::Impl::~Impl() {
    // Another thread's command under way has its wait for the answer cut short.
    if (!mGate->TryClose()) mNetworkNode->InterruptPendingAnswer();
    // From here on every operation fails at once, record callbacks' calls included, so the
    // shutdown below waits for receive threads without holding anything they could wait for.
    mGate->CloseForGood();
    mNetworkNode.reset();
}

bool ComluxClient::Impl::OpenLogFile(const std::string& fileName) {
    Operation entry(*mGate, mNetworkNode);
    if (!entry.Entered()) return false;
    return mNetworkNode->OpenLogFile(fileName);
}

bool ComluxClient::Impl::CloseLogFile() {
    // Not through the gate: the log serialises its own writes.
    const ChannelBorrow borrow(*mGate);
    return borrow.Borrowed() && mNetworkNode->Log().CloseLogFile() == 0;
}

bool ComluxClient::Impl::OpenConnection(const std::string& serverName, bool requestPort) {
    Operation entry(*mGate, mNetworkNode);
    if (!entry.Entered()) return false;
    // A close from another thread abandons the whole procedure, not only the attempt under way.
    const struct ClearInterrupt {
        NetworkNodeClient& node;
        ~ClearInterrupt() { node.ClearInterrupt(); }
    } clearAtEnd{*mNetworkNode};
    if (!requestPort) {
        if (!ConnectAndInitializeStreams(serverName, mCommandPort)) return false;
    } else if (mNetworkNode->InitializeClient(serverName, mHandoutPort)) {
        if (!ConnectThroughHandout(serverName)) return false;
    } else if (!ConnectAndInitializeStreams(serverName, mCommandPort)) {
        return false;
    }
    SetComputerNameLocked();
    return true;
}

bool ComluxClient::Impl::ConnectThroughHandout(const std::string& serverName) {
    std::string answer;
    mNetworkNode->SendCommand("-GetNextAvailablePortNumber");
    mNetworkNode->GetReply(answer);
    int status = 0;
    int port = 0;
    int* const values[] = {&status, &port};
    ReadAnswerIntegers(answer, values);
    if (status != 0) {
        mNetworkNode->ShutdownClient();
        return false;
    }
    if (!mNetworkNode->ShutdownClient()) return false;
    return ConnectAndInitializeStreams(serverName, port);
}

bool ComluxClient::Impl::ConnectAndInitializeStreams(const std::string& serverName, int port) {
    if (!mNetworkNode->InitializeClient(serverName, port)) return false;
    mConnectedPort = port;
    return mNetworkNode->InitializeConnectionNodes() == 0;
}

bool ComluxClient::Impl::CloseConnection() {
    Operation entry(*mGate, mNetworkNode, true);
    if (!entry.Entered()) {
        // Another thread is inside an operation, probably waiting for an answer: cut that wait
        // short instead of waiting for it, then close once it has let go.
        {
            const ChannelBorrow borrow(*mGate);
            if (!borrow.Borrowed()) return false;
            mNetworkNode->InterruptPendingAnswer();
        }
        if (!entry.Enter()) return false;
        mNetworkNode->ClearInterrupt();
        if (!mNetworkNode->IsInitialized()) return true;
    }
    return mNetworkNode->ShutdownClient();
}

bool ComluxClient::Impl::IsConnected() {
    Operation entry(*mGate, mNetworkNode);
    return entry.Entered() && mNetworkNode->IsInitialized();
}

bool ComluxClient::Impl::ServerClosedConnection() {
    // Never waits: a connection another operation is using is not idle.
    Operation entry(*mGate, mNetworkNode, true);
    return entry.Entered() && mNetworkNode->PeerEnded();
}

bool ComluxClient::Impl::SendCommand(const std::string& command, std::string& answer) {
    Operation entry(*mGate, mNetworkNode);
    if (!entry.Entered()) return false;
    return SendAndReadReply(command, answer);
}

bool ComluxClient::Impl::SendAndReadReply(const std::string& command, std::string& answer) {
    std::string reply;
    if (!mNetworkNode->SendCommand(command) || !mNetworkNode->GetReply(reply)) return false;
    answer = std::move(reply);
    return true;
}

bool ComluxClient::Impl::SendCommandRaw(const std::string& command, std::vector<unsigned char>& block,
                                        int& length) {
    Operation entry(*mGate, mNetworkNode);
    if (!entry.Entered()) return false;
    return mNetworkNode->SendCommand(command) && mNetworkNode->RecieveMessage(block, length);
}

bool ComluxClient::Impl::SetApplicationName(const std::string& name) {
    Operation entry(*mGate, mNetworkNode);
    if (!entry.Entered()) return false;
    std::string answer;
    return SendAndReadReply("-SetApplicationName \"" + name + "\"", answer);
}

bool ComluxClient::Impl::SetComputerName() {
    Operation entry(*mGate, mNetworkNode);
    if (!entry.Entered()) return false;
    return SetComputerNameLocked();
}

bool ComluxClient::Impl::SetComputerNameLocked() {
    std::string answer;
    return SendAndReadReply("-SetComputerName " + ComputerName(), answer);
}

// A status answer: the status, then the requested values; `second` may be null.
bool ComluxClient::Impl::RequestStatusValues(const std::string& command, int* first, int* second) {
    *first = 0;
    if (second != nullptr) *second = 0;
    std::string answer;
    if (!SendAndReadReply(command, answer)) return false;
    int status = 0;
    int* const targets[] = {&status, first, second};
    ReadAnswerIntegers(answer, std::span(targets, second != nullptr ? 3 : 2));
    return status >= 0;
}

bool ComluxClient::Impl::RequestRingBufferSize(const std::string& objectName, int& value1, int& value2) {
    Operation entry(*mGate, mNetworkNode);
    if (!entry.Entered()) return false;
    return RequestStatusValues("-RequestRingBufferSize " + objectName, &value1, &value2);
}

bool ComluxClient::Impl::RequestRingBuffer(const std::string& objectName, unsigned char* buffer,
                                           int bufferSize, int& bytesCopied) {
    bytesCopied = 0;
    if (bufferSize < 0 || (buffer == nullptr && bufferSize > 0)) return false;
    if (bufferSize > 0) std::memset(buffer, 0, static_cast<std::size_t>(bufferSize));
    Operation entry(*mGate, mNetworkNode);
    if (!entry.Entered()) return false;
    if (!mNetworkNode->SendCommand("-RequestRingBuffer " + objectName)) return false;
    std::vector<unsigned char> block;
    int length = 0;
    if (!mNetworkNode->RecieveMessage(block, length) || block.empty()) return false;
    const int count = std::min(bufferSize, length);
    if (count > 0) std::memcpy(buffer, block.data(), static_cast<std::size_t>(count));
    bytesCopied = count;
    return true;
}

bool ComluxClient::Impl::RequestSamplingFrequency(const std::string& objectName, int& frequency) {
    Operation entry(*mGate, mNetworkNode);
    if (!entry.Entered()) return false;
    return RequestStatusValues("-RequestSamplingFrequency " + objectName, &frequency, nullptr);
}

bool ComluxClient::Impl::RequestADRange(const std::string& objectName, int& value1, int& value2) {
    Operation entry(*mGate, mNetworkNode);
    if (!entry.Entered()) return false;
    return RequestStatusValues("-RequestADRange " + objectName, &value1, &value2);
}

bool ComluxClient::Impl::RequestFeature(const std::string& featureName, int value,
                                        std::string& featureValue) {
    Operation entry(*mGate, mNetworkNode);
    if (!entry.Entered()) return false;
    std::string answer;
    if (!SendAndReadReply("-RequestFeature " + featureName + " " + std::to_string(value), answer))
        return false;
    const auto space = answer.find(' ');
    if (space == std::string::npos) return false;
    if (LeadingInteger(std::string_view(answer).substr(0, space)) < 0) return false;
    featureValue = answer.substr(space + 1);
    return true;
}

bool ComluxClient::Impl::LogMessage(const std::string& message, int value) {
    Operation entry(*mGate, mNetworkNode);
    if (!entry.Entered()) return false;
    std::string answer;
    return SendAndReadReply("-LogMessage " + message + " " + std::to_string(value), answer);
}

bool ComluxClient::Impl::GetObjectsAndTypes(std::vector<std::string>& objectNames,
                                            std::vector<std::string>& objectTypes) {
    Operation entry(*mGate, mNetworkNode);
    if (!entry.Entered()) return false;
    std::vector<std::string> objects;
    std::vector<std::string> types;
    if (!mNetworkNode->RequestObjectsAndTypes(objects, types)) return false;
    objectNames.clear();
    objectTypes.clear();
    // The lists stay parallel even when the server sent fewer types than objects.
    for (std::size_t i = 0; i < objects.size(); ++i) {
        objectNames.push_back(objects[i]);
        objectTypes.push_back(i < types.size() ? types[i] : std::string());
    }
    return true;
}

bool ComluxClient::Impl::OpenStream(const std::string& objectName, const std::string& dataType) {
    Operation entry(*mGate, mNetworkNode);
    if (!entry.Entered()) return false;
    return mNetworkNode->OpenStream(objectName, dataType);
}

bool ComluxClient::Impl::CloseStream(const std::string& objectName, const std::string& dataType) {
    Operation entry(*mGate, mNetworkNode);
    if (!entry.Entered()) return false;
    return mNetworkNode->CloseStream(objectName, dataType);
}

StreamState ComluxClient::Impl::GetStreamState(StreamKind kind) {
    Operation entry(*mGate, mNetworkNode);
    return entry.Entered() ? mNetworkNode->GetStreamState(kind) : StreamState::NotListening;
}

// The registration changes under the gate; the wait for a call of the old callback to end happens
// outside it, since that call may itself be waiting for the gate. Nor does the wait hold the
// channel: that call may be destroying the client, which waits for the channel to be let go. The
// registration is shared, so the wait outlives a client destroyed meanwhile.
void ComluxClient::Impl::SetCallback(StreamKind kind, RecordCallback callback, void* context) {
    std::shared_ptr<StreamRegistration> registration;
    {
        Operation entry(*mGate, mNetworkNode);
        if (!entry.Entered()) return;
        mNetworkNode->SetCallback(kind, callback, context);
        registration = mNetworkNode->Registration(kind);
    }
    registration->WaitForEarlierCalls();
}

std::string ComluxClient::Impl::GetServerName() {
    const ChannelBorrow borrow(*mGate);
    return borrow.Borrowed() ? mNetworkNode->GetServerName() : std::string(kNotConnected);
}

std::string ComluxClient::Impl::GetServerIPAddress() {
    const ChannelBorrow borrow(*mGate);
    return borrow.Borrowed() ? mNetworkNode->GetServerIPAddress() : std::string(kNotConnected);
}

int ComluxClient::Impl::GetCommandPort() {
    Operation entry(*mGate, mNetworkNode);
    return entry.Entered() ? mConnectedPort : 0;
}

std::string ComluxClient::Impl::GetServerApplicationName() {
    const ChannelBorrow borrow(*mGate);
    return borrow.Borrowed() ? mNetworkNode->GetServerApplicationName() : std::string(kNotConnected);
}

void ComluxClient::Impl::SetMessageHandler(MessageHandler handler) {
    const ChannelBorrow borrow(*mGate);
    if (borrow.Borrowed()) mNetworkNode->SetMessageHandler(std::move(handler));
}

void ComluxClient::Impl::SetPorts(int handoutPort, int commandPort) {
    Operation entry(*mGate, mNetworkNode);
    if (!entry.Entered()) return;
    mHandoutPort = handoutPort;
    mCommandPort = commandPort;
}

bool ComluxClient::Impl::SetConnectTimeout(std::chrono::milliseconds timeout) {
    Operation entry(*mGate, mNetworkNode);
    return entry.Entered() && mNetworkNode->SetConnectTimeout(timeout);
}

bool ComluxClient::Impl::SetSendTimeout(std::chrono::milliseconds timeout) {
    Operation entry(*mGate, mNetworkNode);
    return entry.Entered() && mNetworkNode->SetSendTimeout(timeout);
}

bool ComluxClient::Impl::SetAnswerTimeout(std::chrono::milliseconds timeout) {
    Operation entry(*mGate, mNetworkNode);
    return entry.Entered() && mNetworkNode->SetAnswerTimeout(timeout);
}

}  // namespace comlux
