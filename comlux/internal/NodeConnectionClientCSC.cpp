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

NodeConnectionClientCSC::NodeConnectionClientCSC() : NodeConnectionClient(StreamKind::Csc) {}

NodeConnectionClientCSC::~NodeConnectionClientCSC() {
    StopReceivingForDestruction();
}

void NodeConnectionClientCSC::SetCallbackCSC(RecordCallback callback, void* context) {
    Registration().SetCallback(callback, context);
}

void NodeConnectionClientCSC::ExecuteCallback(const unsigned char* record) {
    const auto number = ReadLittleInt32(record + kNumberOffset);
    if (Registration().Deliver(number, record) == StreamRegistration::Outcome::OutOfRange) {
        Report(Error, std::string(kInvalidNumber) + std::to_string(number));
    }
}

}  // namespace comlux
