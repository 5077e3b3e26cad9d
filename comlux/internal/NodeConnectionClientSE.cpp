#include "comlux/internal/NodeConnectionClientSE.h"

#include <string>
#include <string_view>

#include "comlux/ClientLogFile.h"

namespace comlux {

namespace {

constexpr std::string_view kInvalidNumber =
    "NodeConnectionClientSE::ExecuteCallback() - Error, "
    "we have encountered an invalid spike channel number from our comlux buffer.  scNumber: ";
constexpr int kNumberOffset = 8;

}  // namespace

NodeConnectionClientSE::NodeConnectionClientSE()
    : NodeConnectionClient(StreamKind::SingleElectrode), mRegistration(StreamKind::SingleElectrode) {}

NodeConnectionClientSE::~NodeConnectionClientSE() {
    StopReceivingForDestruction();
}

void NodeConnectionClientSE::SetCallbackSE(RecordCallback callback, void* context) {
    mRegistration.SetCallback(callback, context);
}

void NodeConnectionClientSE::SetObjectNames(const std::vector<std::string>& names,
                                            const std::vector<std::string>& types) {
    mRegistration.SetObjectNames(names, types);
}

void NodeConnectionClientSE::ExecuteCallback() {
    const auto number = ReadLittleInt32(RecordBuffer() + kNumberOffset);
    if (mRegistration.DeliverNumbered(number, RecordBuffer()) == StreamRegistration::Outcome::OutOfRange) {
        Report(Error, std::string(kInvalidNumber) + std::to_string(number));
    }
}

}  // namespace comlux
