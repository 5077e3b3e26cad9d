#pragma once

#include "comlux/internal/NodeConnectionClient.h"

namespace comlux {

/// Continuously sampled channel records; the number at offset 8 indexes the channel objects.
class NodeConnectionClientCSC final : public NodeConnectionClient {
public:
    /// A listener for 1044-byte records.
    NodeConnectionClientCSC();
    /// Ends the receive threads while this type's ExecuteCallback is still whole.
    ~NodeConnectionClientCSC() override;

    /// Registers the record callback and its context; empty values stop delivery.
    void SetCallbackCSC(RecordCallback callback, void* context) override;

private:
    void ExecuteCallback(const unsigned char* record) override;
};

}  // namespace comlux
