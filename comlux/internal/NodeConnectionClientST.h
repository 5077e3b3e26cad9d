#pragma once

#include "comlux/internal/NodeConnectionClient.h"

namespace comlux {

/// Stereotrode spike records; the number at offset 8 indexes every spike object of the server.
class NodeConnectionClientST final : public NodeConnectionClient {
public:
    /// A listener for 176-byte records.
    NodeConnectionClientST();
    /// Ends the receive threads while this type's ExecuteCallback is still whole.
    ~NodeConnectionClientST() override;

    /// Registers the record callback and its context; empty values stop delivery.
    void SetCallbackST(RecordCallback callback, void* context) override;

private:
    void ExecuteCallback(const unsigned char* record) override;
};

}  // namespace comlux
