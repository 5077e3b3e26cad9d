#include "comlux/internal/NodeConnectionClientEV.h"

namespace comlux {

NodeConnectionClientEV::NodeConnectionClientEV() : NodeConnectionClient(StreamKind::Event) {}

NodeConnectionClientEV::~NodeConnectionClientEV() {
    StopReceivingForDestruction();
}

void NodeConnectionClientEV::SetCallbackEV(RecordCallback callback, void* context) {
    Registration().SetCallback(callback, context);
}

void NodeConnectionClientEV::ExecuteCallback(const unsigned char* record) {
    // Event records carry no number: every one belongs to the first event object.
    Registration().Deliver(std::nullopt, record);
}

}  // namespace comlux
