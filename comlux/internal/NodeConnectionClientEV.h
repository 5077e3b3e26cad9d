#pragma once

#include "comlux/internal/NodeConnectionClient.h"
#include "comlux/internal/StreamRegistration.h"

namespace comlux {

/// Event records; each is delivered under the first event object's name.
class NodeConnectionClientEV final : public NodeConnectionClient {
public:
    /// A listener for 184-byte records.
    NodeConnectionClientEV();
    /// Ends the receive thread before the registration goes away.
    ~NodeConnectionClientEV() override;

    /// Registers the record callback and its context; empty values stop delivery.
    void SetCallbackEV(RecordCallback callback, void* context) override;
    /// Keeps the names of the objects whose data type this stream accepts.
    void SetObjectNames(const std::vector<std::string>& names,
                        const std::vector<std::string>& types) override;

private:
    void ExecuteCallback() override;

    StreamRegistration mRegistration;
};

}  // namespace comlux
