#include "comlux/ComluxClient.h"

#include <algorithm>
#include <cstring>

#include "comlux/HostNames.h"
#include "comlux/internal/AnswerNumbers.h"
#include "comlux/internal/NetworkNodeClient.h"

namespace comlux {

ComluxClient::ComluxClient() : mNetworkNode(std::make_unique<NetworkNodeClient>()) {}

ComluxClient::~ComluxClient() {
    std::lock_guard guard(mLock);
    mNetworkNode.reset();
}

bool ComluxClient::OpenLogFile(std::string fileName) {
    std::lock_guard guard(mLock);
    return mNetworkNode->OpenLogFile(fileName);
}

bool ComluxClient::OpenConnection(std::string serverName, bool requestPort) {
    std::lock_guard guard(mLock);
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

bool ComluxClient::ConnectThroughHandout(const std::string& serverName) {
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

bool ComluxClient::ConnectAndInitializeStreams(const std::string& serverName, int port) {
    return mNetworkNode->InitializeClient(serverName, port) && mNetworkNode->InitializeConnectionNodes() == 0;
}

bool ComluxClient::CloseConnection() {
    std::unique_lock lock(mLock, std::try_to_lock);
    if (!lock.owns_lock()) {
        // Another thread is inside an operation, probably waiting for an answer: cut that wait
        // short instead of waiting for it, then close once it has let go.
        mNetworkNode->InterruptPendingAnswer();
        lock.lock();
        if (!mNetworkNode->IsInitialized()) return true;
    }
    return mNetworkNode->ShutdownClient();
}

bool ComluxClient::SendCommand(std::string command, std::string& answer) {
    std::lock_guard guard(mLock);
    return SendAndReadReply(command, answer);
}

bool ComluxClient::SendAndReadReply(const std::string& command, std::string& answer) {
    std::string reply;
    if (!mNetworkNode->SendCommand(command) || !mNetworkNode->GetReply(reply)) return false;
    answer = std::move(reply);
    return true;
}

bool ComluxClient::SendCommandRaw(std::string command, std::vector<unsigned char>& block, int& length) {
    std::lock_guard guard(mLock);
    return mNetworkNode->SendCommand(command) && mNetworkNode->RecieveMessage(block, length);
}

bool ComluxClient::SetApplicationName(std::string name) {
    std::lock_guard guard(mLock);
    std::string answer;
    return SendAndReadReply("-SetApplicationName \"" + name + "\"", answer);
}

bool ComluxClient::SetComputerName() {
    std::lock_guard guard(mLock);
    return SetComputerNameLocked();
}

bool ComluxClient::SetComputerNameLocked() {
    std::string answer;
    return SendAndReadReply("-SetComputerName " + ComputerName(), answer);
}

// A status answer: the status, then the requested values; `second` may be null.
bool ComluxClient::RequestStatusValues(const std::string& command, int* first, int* second) {
    *first = 0;
    if (second != nullptr) *second = 0;
    std::string answer;
    if (!SendAndReadReply(command, answer)) return false;
    int status = 0;
    int* const targets[] = {&status, first, second};
    ReadAnswerIntegers(answer, std::span(targets, second != nullptr ? 3 : 2));
    return status >= 0;
}

bool ComluxClient::RequestRingBufferSize(std::string objectName, int& value1, int& value2) {
    std::lock_guard guard(mLock);
    return RequestStatusValues("-RequestRingBufferSize " + objectName, &value1, &value2);
}

bool ComluxClient::RequestRingBuffer(std::string objectName, unsigned char* buffer, int bufferSize,
                                     int& bytesCopied) {
    bytesCopied = 0;
    if (bufferSize < 0 || (buffer == nullptr && bufferSize > 0)) return false;
    if (bufferSize > 0) std::memset(buffer, 0, static_cast<std::size_t>(bufferSize));
    std::lock_guard guard(mLock);
    if (!mNetworkNode->SendCommand("-RequestRingBuffer " + objectName)) return false;
    std::vector<unsigned char> block;
    int length = 0;
    if (!mNetworkNode->RecieveMessage(block, length) || block.empty()) return false;
    const int count = std::min(bufferSize, length);
    if (count > 0) std::memcpy(buffer, block.data(), static_cast<std::size_t>(count));
    bytesCopied = count;
    return true;
}

bool ComluxClient::RequestSamplingFrequency(std::string objectName, int& frequency) {
    std::lock_guard guard(mLock);
    return RequestStatusValues("-RequestSamplingFrequency " + objectName, &frequency, nullptr);
}

bool ComluxClient::RequestADRange(std::string objectName, int& value1, int& value2) {
    std::lock_guard guard(mLock);
    return RequestStatusValues("-RequestADRange " + objectName, &value1, &value2);
}

bool ComluxClient::RequestFeature(std::string featureName, int value, std::string& featureValue) {
    std::lock_guard guard(mLock);
    std::string answer;
    if (!SendAndReadReply("-RequestFeature " + featureName + " " + std::to_string(value), answer))
        return false;
    const auto space = answer.find(' ');
    if (space == std::string::npos) return false;
    if (LeadingInteger(std::string_view(answer).substr(0, space)) < 0) return false;
    featureValue = answer.substr(space + 1);
    return true;
}

bool ComluxClient::LogMessage(std::string message, int value) {
    std::lock_guard guard(mLock);
    std::string answer;
    return SendAndReadReply("-LogMessage " + message + " " + std::to_string(value), answer);
}

bool ComluxClient::GetObjectsAndTypes(std::vector<std::string>& objectNames,
                                      std::vector<std::string>& objectTypes) {
    std::lock_guard guard(mLock);
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

bool ComluxClient::OpenStream(std::string objectName, std::string dataType) {
    std::lock_guard guard(mLock);
    return mNetworkNode->OpenStream(objectName, dataType);
}

bool ComluxClient::CloseStream(std::string objectName, std::string dataType) {
    std::lock_guard guard(mLock);
    return mNetworkNode->CloseStream(objectName, dataType);
}

void ComluxClient::SetCallbackSE(RecordCallback callback, void* context) {
    std::lock_guard guard(mLock);
    mNetworkNode->SetCallbackSE(callback, context);
}

void ComluxClient::SetCallbackST(RecordCallback callback, void* context) {
    std::lock_guard guard(mLock);
    mNetworkNode->SetCallbackST(callback, context);
}

void ComluxClient::SetCallbackTT(RecordCallback callback, void* context) {
    std::lock_guard guard(mLock);
    mNetworkNode->SetCallbackTT(callback, context);
}

void ComluxClient::SetCallbackCSC(RecordCallback callback, void* context) {
    std::lock_guard guard(mLock);
    mNetworkNode->SetCallbackCSC(callback, context);
}

void ComluxClient::SetCallbackEV(RecordCallback callback, void* context) {
    std::lock_guard guard(mLock);
    mNetworkNode->SetCallbackEV(callback, context);
}

void ComluxClient::SetCallbackVT(RecordCallback callback, void* context) {
    std::lock_guard guard(mLock);
    mNetworkNode->SetCallbackVT(callback, context);
}

std::string ComluxClient::GetServerName() {
    return mNetworkNode->GetServerName();
}

std::string ComluxClient::GetServerIPAddress() {
    return mNetworkNode->GetServerIPAddress();
}

std::string ComluxClient::GetServerApplicationName() {
    return mNetworkNode->GetServerApplicationName();
}

void ComluxClient::SetMessageHandler(MessageHandler handler) {
    mNetworkNode->SetMessageHandler(std::move(handler));
}

void ComluxClient::SetPorts(int handoutPort, int commandPort) {
    std::lock_guard guard(mLock);
    mHandoutPort = handoutPort;
    mCommandPort = commandPort;
}

void ComluxClient::SetConnectTimeout(std::chrono::milliseconds timeout) {
    std::lock_guard guard(mLock);
    mNetworkNode->SetConnectTimeout(timeout);
}

void ComluxClient::SetSendTimeout(std::chrono::milliseconds timeout) {
    std::lock_guard guard(mLock);
    mNetworkNode->SetSendTimeout(timeout);
}

void ComluxClient::SetAnswerTimeout(std::chrono::milliseconds timeout) {
    std::lock_guard guard(mLock);
    mNetworkNode->SetAnswerTimeout(timeout);
}

}  // namespace comlux
