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

NodeConnectionClientVT::NodeConnectionClientVT()
    : NodeConnectionClient(StreamKind::VideoTracker), mRegistration(StreamKind::VideoTracker) {}

NodeConnectionClientVT::~NodeConnectionClientVT() {
    StopReceivingForDestruction();
}

void NodeConnectionClientVT::SetCallbackVT(RecordCallback callback, void* context) {
    mRegistration.SetCallback(callback, context);
}

void NodeConnectionClientVT::SetObjectNames(const std::vector<std::string>& names,
                                            const std::vector<std::string>& types) {
    mRegistration.SetObjectNames(names, types);
}

void NodeConnectionClientVT::ExecuteCallback() {
    const auto number = ReadLittleUint16(RecordBuffer() + kNumberOffset);
    if (mRegistration.DeliverNumbered(number, RecordBuffer()) == StreamRegistration::Outcome::OutOfRange) {
        Report(Error, std::string(kInvalidNumber) + std::to_string(number));
    }
}

}  // namespace comlux
