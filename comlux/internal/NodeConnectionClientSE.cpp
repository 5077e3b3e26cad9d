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

NodeConnectionClientSE::NodeConnectionClientSE() : NodeConnectionClient(StreamKind::SingleElectrode) {}

NodeConnectionClientSE::~NodeConnectionClientSE() {
    StopReceivingForDestruction();
}

void NodeConnectionClientSE::SetCallbackSE(RecordCallback callback, void* context) {
    Registration().SetCallback(callback, context);
}

void NodeConnectionClientSE::ExecuteCallback(const unsigned char* record) {
    const auto number = ReadLittleInt32(record + kNumberOffset);
    if (Registration().Deliver(number, record) == StreamRegistration::Outcome::OutOfRange) {
        Report(Error, std::string(kInvalidNumber) + std::to_string(number));
    }
}

}  // namespace comlux
