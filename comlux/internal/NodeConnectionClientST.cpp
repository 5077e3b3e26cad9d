#include "comlux/internal/NodeConnectionClientST.h"

#include <string>
#include <string_view>

#include "comlux/ClientLogFile.h"

namespace comlux {

namespace {

constexpr std::string_view kInvalidNumber =
    "NodeConnectionClientST::ExecuteCallback() - Error, "
    "we have encountered an invalid spike channel number from our comlux buffer.  scNumber: ";
constexpr int kNumberOffset = 8;

}  // namespace

NodeConnectionClientST::NodeConnectionClientST()
    : NodeConnectionClient(StreamKind::Stereotrode), mRegistration(StreamKind::Stereotrode) {}

NodeConnectionClientST::~NodeConnectionClientST() {
    StopReceivingForDestruction();
}

void NodeConnectionClientST::SetCallbackST(RecordCallback callback, void* context) {
    mRegistration.SetCallback(callback, context);
}

void NodeConnectionClientST::SetObjectNames(const std::vector<std::string>& names,
                                            const std::vector<std::string>& types) {
    mRegistration.SetObjectNames(names, types);
}

void NodeConnectionClientST::ExecuteCallback() {
    const auto number = ReadLittleInt32(RecordBuffer() + kNumberOffset);
    if (mRegistration.DeliverNumbered(number, RecordBuffer()) == StreamRegistration::Outcome::OutOfRange) {
        Report(Error, std::string(kInvalidNumber) + std::to_string(number));
    }
}

}  // namespace comlux
