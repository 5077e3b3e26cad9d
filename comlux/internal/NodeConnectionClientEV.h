#pragma once

#include "comlux/internal/NodeConnectionClient.h"

namespace comlux {

/// Event records; each is delivered under the first event object's name.
class NodeConnectionClientEV final : public NodeConnectionClient {
public:
    /// A listener for 184-byte records.
    NodeConnectionClientEV();
    /// Ends the receive threads while this type's ExecuteCallback is still whole.
    ~NodeConnectionClientEV() override;

    /// Registers the record callback and its context; empty values stop delivery.
    void SetCallbackEV(RecordCallback callback, void* context) override;

private:
    void ExecuteCallback(const unsigned char* record) override;
};

}  // namespace comlux
