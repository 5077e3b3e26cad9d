#include "comlux/internal/NodeConnectionClientEV.h"

namespace comlux {

NodeConnectionClientEV::NodeConnectionClientEV()
    : NodeConnectionClient(StreamKind::Event), mRegistration(StreamKind::Event) {}

NodeConnectionClientEV::~NodeConnectionClientEV() {
    StopReceivingForDestruction();
}

void NodeConnectionClientEV::SetCallbackEV(RecordCallback callback, void* context) {
    mRegistration.SetCallback(callback, context);
}

void NodeConnectionClientEV::SetObjectNames(const std::vector<std::string>& names,
                                            const std::vector<std::string>& types) {
    mRegistration.SetObjectNames(names, types);
}

void NodeConnectionClientEV::ExecuteCallback() {
    // Event records carry no number: every one belongs to the first event object.
    mRegistration.DeliverUnderFirstName(RecordBuffer());
}

}  // namespace comlux
