#include "comlux/ComluxClient.h"

#include <utility>

#include "comlux/internal/ComluxClientImpl.h"

namespace comlux {

// Every operation is the implementation's: the public class only holds it, so that what the
// implementation holds may change without changing the class callers are built against.
// The public signatures take their strings by value: they are the library's ABI.
// NOLINTBEGIN(performance-unnecessary-value-param)

ComluxClient::ComluxClient() : mImpl(new Impl) {}

ComluxClient::~ComluxClient() {
    delete mImpl;
}

bool ComluxClient::OpenLogFile(std::string fileName) {
    return mImpl->OpenLogFile(fileName);
}

bool ComluxClient::CloseLogFile() {
    return mImpl->CloseLogFile();
}

bool ComluxClient::OpenConnection(std::string serverName, bool requestPort) {
    return mImpl->OpenConnection(serverName, requestPort);
}

bool ComluxClient::CloseConnection() {
    return mImpl->CloseConnection();
}

bool ComluxClient::IsConnected() {
    return mImpl->IsConnected();
}

bool ComluxClient::ServerClosedConnection() {
    return mImpl->ServerClosedConnection();
}

bool ComluxClient::SendCommand(std::string command, std::string& answer) {
    return mImpl->SendCommand(command, answer);
}

bool ComluxClient::SendCommandRaw(std::string command, std::vector<unsigned char>& block, int& length) {
    return mImpl->SendCommandRaw(command, block, length);
}

bool ComluxClient::SetApplicationName(std::string name) {
    return mImpl->SetApplicationName(name);
}

bool ComluxClient::SetComputerName() {
    return mImpl->SetComputerName();
}

bool ComluxClient::RequestRingBufferSize(std::string objectName, int& value1, int& value2) {
    return mImpl->RequestRingBufferSize(objectName, value1, value2);
}

bool ComluxClient::RequestRingBuffer(std::string objectName, unsigned char* buffer, int bufferSize,
                                     int& bytesCopied) {
    return mImpl->RequestRingBuffer(objectName, buffer, bufferSize, bytesCopied);
}

bool ComluxClient::RequestSamplingFrequency(std::string objectName, int& frequency) {
    return mImpl->RequestSamplingFrequency(objectName, frequency);
}

bool ComluxClient::RequestADRange(std::string objectName, int& value1, int& value2) {
    return mImpl->RequestADRange(objectName, value1, value2);
}

bool ComluxClient::RequestFeature(std::string featureName, int value, std::string& featureValue) {
    return mImpl->RequestFeature(featureName, value, featureValue);
}

bool ComluxClient::LogMessage(std::string message, int value) {
    return mImpl->LogMessage(message, value);
}

bool ComluxClient::GetObjectsAndTypes(std::vector<std::string>& objectNames,
                                      std::vector<std::string>& objectTypes) {
    return mImpl->GetObjectsAndTypes(objectNames, objectTypes);
}

bool ComluxClient::OpenStream(std::string objectName, std::string dataType) {
    return mImpl->OpenStream(objectName, dataType);
}

bool ComluxClient::CloseStream(std::string objectName, std::string dataType) {
    return mImpl->CloseStream(objectName, dataType);
}

StreamState ComluxClient::GetStreamState(StreamKind kind) {
    return mImpl->GetStreamState(kind);
}

void ComluxClient::SetCallbackSE(RecordCallback callback, void* context) {
    mImpl->SetCallback(StreamKind::SingleElectrode, callback, context);
}

void ComluxClient::SetCallbackST(RecordCallback callback, void* context) {
    mImpl->SetCallback(StreamKind::Stereotrode, callback, context);
}

void ComluxClient::SetCallbackTT(RecordCallback callback, void* context) {
    mImpl->SetCallback(StreamKind::Tetrode, callback, context);
}

void ComluxClient::SetCallbackCSC(RecordCallback callback, void* context) {
    mImpl->SetCallback(StreamKind::Csc, callback, context);
}

void ComluxClient::SetCallbackEV(RecordCallback callback, void* context) {
    mImpl->SetCallback(StreamKind::Event, callback, context);
}

void ComluxClient::SetCallbackVT(RecordCallback callback, void* context) {
    mImpl->SetCallback(StreamKind::VideoTracker, callback, context);
}

std::string ComluxClient::GetServerName() {
    return mImpl->GetServerName();
}

std::string ComluxClient::GetServerIPAddress() {
    return mImpl->GetServerIPAddress();
}

std::string ComluxClient::GetServerApplicationName() {
    return mImpl->GetServerApplicationName();
}

int ComluxClient::GetCommandPort() {
    return mImpl->GetCommandPort();
}

void ComluxClient::SetMessageHandler(MessageHandler handler) {
    mImpl->SetMessageHandler(std::move(handler));
}

void ComluxClient::SetPorts(int handoutPort, int commandPort) {
    mImpl->SetPorts(handoutPort, commandPort);
}

bool ComluxClient::SetConnectTimeout(std::chrono::milliseconds timeout) {
    return mImpl->SetConnectTimeout(timeout);
}

bool ComluxClient::SetSendTimeout(std::chrono::milliseconds timeout) {
    return mImpl->SetSendTimeout(timeout);
}

bool ComluxClient::SetAnswerTimeout(std::chrono::milliseconds timeout) {
    return mImpl->SetAnswerTimeout(timeout);
}
// NOLINTEND(performance-unnecessary-value-param)

}  // namespace comlux
