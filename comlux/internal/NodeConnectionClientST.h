#pragma once

#include "comlux/internal/NodeConnectionClient.h"
#include "comlux/internal/StreamRegistration.h"

namespace comlux {

/// Stereotrode spike records; the number at offset 8 indexes every spike object of the server.
class NodeConnectionClientST final : public NodeConnectionClient {
public:
    /// A listener for 176-byte records.
    NodeConnectionClientST();
    /// Ends the receive thread before the registration goes away.
    ~NodeConnectionClientST() override;

    /// Registers the record callback and its context; empty values stop delivery.
    void SetCallbackST(RecordCallback callback, void* context) override;
    /// Keeps the names of the objects whose data type this stream accepts.
    void SetObjectNames(const std::vector<std::string>& names,
                        const std::vector<std::string>& types) override;

private:
    void ExecuteCallback() override;

    StreamRegistration mRegistration;
};

}  // namespace comlux
