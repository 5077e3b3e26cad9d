#pragma once

#include "comlux/internal/NodeConnectionClient.h"
#include "comlux/internal/StreamRegistration.h"

namespace comlux {

/// Tetrode spike records; the number at offset 8 indexes every spike object of the server.
class NodeConnectionClientTT final : public NodeConnectionClient {
public:
    /// A listener for 304-byte records.
    NodeConnectionClientTT();
    /// Ends the receive thread before the registration goes away.
    ~NodeConnectionClientTT() override;

    /// Registers the record callback and its context; empty values stop delivery.
    void SetCallbackTT(RecordCallback callback, void* context) override;
    /// Keeps the names of the objects whose data type this stream accepts.
    void SetObjectNames(const std::vector<std::string>& names,
                        const std::vector<std::string>& types) override;

private:
    void ExecuteCallback() override;

    StreamRegistration mRegistration;
};

}  // namespace comlux
