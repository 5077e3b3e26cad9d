#pragma once

#include "comlux/internal/NodeConnectionClient.h"

namespace comlux {

/// Video tracker records; the unsigned 16-bit id at offset 2 indexes the tracker objects.
class NodeConnectionClientVT final : public NodeConnectionClient {
public:
    /// A listener for 1828-byte records.
    NodeConnectionClientVT();
    /// Ends the receive threads while this type's ExecuteCallback is still whole.
    ~NodeConnectionClientVT() override;

    /// Registers the record callback and its context; empty values stop delivery.
    void SetCallbackVT(RecordCallback callback, void* context) override;

private:
    void ExecuteCallback(const unsigned char* record) override;
};

}  // namespace comlux
