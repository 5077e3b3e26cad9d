#include "comlux/internal/NodeConnectionClientCSC.h"

#include <string>
#include <string_view>

#include "comlux/ClientLogFile.h"

namespace comlux {

namespace {

constexpr std::string_view kInvalidNumber =
    "NodeConnectionClientCSC::ExecuteCallback() - Error, "
    "we have encountered an invalid channel number from our comlux buffer.  chanNumber: ";
constexpr int kNumberOffset = 8;

}  // namespace

NodeConnectionClientCSC::NodeConnectionClientCSC()
    : NodeConnectionClient(StreamKind::Csc), mRegistration(StreamKind::Csc) {}

NodeConnectionClientCSC::~NodeConnectionClientCSC() {
    StopReceivingForDestruction();
}

void NodeConnectionClientCSC::SetCallbackCSC(RecordCallback callback, void* context) {
    mRegistration.SetCallback(callback, context);
}

void NodeConnectionClientCSC::SetObjectNames(const std::vector<std::string>& names,
                                             const std::vector<std::string>& types) {
    mRegistration.SetObjectNames(names, types);
}

void NodeConnectionClientCSC::ExecuteCallback() {
    const auto number = ReadLittleInt32(RecordBuffer() + kNumberOffset);
    if (mRegistration.DeliverNumbered(number, RecordBuffer()) == StreamRegistration::Outcome::OutOfRange) {
        Report(Error, std::string(kInvalidNumber) + std::to_string(number));
    }
}

}  // namespace comlux
