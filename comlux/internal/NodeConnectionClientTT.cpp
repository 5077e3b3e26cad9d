#include "comlux/internal/NodeConnectionClientTT.h"

#include <string>
#include <string_view>

#include "comlux/ClientLogFile.h"

namespace comlux {

namespace {

constexpr std::string_view kInvalidNumber =
    "NodeConnectionClientTT::ExecuteCallback() - Error, "
    "we have encountered an invalid spike channel number from our comlux buffer.  scNumber: ";
constexpr int kNumberOffset = 8;

}  // namespace

NodeConnectionClientTT::NodeConnectionClientTT()
    : NodeConnectionClient(StreamKind::Tetrode), mRegistration(StreamKind::Tetrode) {}

NodeConnectionClientTT::~NodeConnectionClientTT() {
    StopReceivingForDestruction();
}

void NodeConnectionClientTT::SetCallbackTT(RecordCallback callback, void* context) {
    mRegistration.SetCallback(callback, context);
}

void NodeConnectionClientTT::SetObjectNames(const std::vector<std::string>& names,
                                            const std::vector<std::string>& types) {
    mRegistration.SetObjectNames(names, types);
}

void NodeConnectionClientTT::ExecuteCallback() {
    const auto number = ReadLittleInt32(RecordBuffer() + kNumberOffset);
    if (mRegistration.DeliverNumbered(number, RecordBuffer()) == StreamRegistration::Outcome::OutOfRange) {
        Report(Error, std::string(kInvalidNumber) + std::to_string(number));
    }
}

}  // namespace comlux
