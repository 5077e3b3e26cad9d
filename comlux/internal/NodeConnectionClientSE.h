#pragma once

#include "comlux/internal/NodeConnectionClient.h"

namespace comlux {

/// Single-electrode spike records; the number at offset 8 indexes every spike object of the server.
class NodeConnectionClientSE final : public NodeConnectionClient {
public:
    /// A listener for 112-byte records.
    NodeConnectionClientSE();
    /// Ends the receive threads while this type's ExecuteCallback is still whole.
    ~NodeConnectionClientSE() override;

    /// Registers the record callback and its context; empty values stop delivery.
    void SetCallbackSE(RecordCallback callback, void* context) override;

private:
    void ExecuteCallback(const unsigned char* record) override;
};

}  // namespace comlux
