#include "comlux/internal/NodeConnectionClientVT.h"

#include <string>
#include <string_view>

#include "comlux/ClientLogFile.h"

namespace comlux {

namespace {

constexpr std::string_view kInvalidNumber =
    "NodeConnectionClientVT::ExecuteCallback() - Error, "
    "we have encountered an invalid video tracker ID from our comlux buffer.  id: ";
constexpr int kNumberOffset = 2;

}  // namespace

NodeConnectionClientVT::NodeConnectionClientVT() : NodeConnectionClient(StreamKind::VideoTracker) {}

NodeConnectionClientVT::~NodeConnectionClientVT() {
    StopReceivingForDestruction();
}

void NodeConnectionClientVT::SetCallbackVT(RecordCallback callback, void* context) {
    Registration().SetCallback(callback, context);
}

void NodeConnectionClientVT::ExecuteCallback(const unsigned char* record) {
    const auto number = ReadLittleUint16(record + kNumberOffset);
    if (Registration().Deliver(number, record) == StreamRegistration::Outcome::OutOfRange) {
        Report(Error, std::string(kInvalidNumber) + std::to_string(number));
    }
}

}  // namespace comlux
