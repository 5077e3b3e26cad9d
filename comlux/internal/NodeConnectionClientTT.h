#pragma once

#include "comlux/internal/NodeConnectionClient.h"

namespace comlux {

/// Tetrode spike records; the number at offset 8 indexes every spike object of the server.
class NodeConnectionClientTT final : public NodeConnectionClient {
public:
    /// A listener for 304-byte records.
    NodeConnectionClientTT();
    /// Ends the receive threads while this type's ExecuteCallback is still whole.
    ~NodeConnectionClientTT() override;

    /// Registers the record callback and its context; empty values stop delivery.
    void SetCallbackTT(RecordCallback callback, void* context) override;

private:
    void ExecuteCallback(const unsigned char* record) override;
};

}  // namespace comlux
