#pragma once

#include "comlux/internal/NodeConnectionClient.h"
#include "comlux/internal/StreamRegistration.h"

namespace comlux {

/// Video tracker records; the unsigned 16-bit id at offset 2 indexes the tracker objects.
class NodeConnectionClientVT final : public NodeConnectionClient {
public:
    /// A listener for 1828-byte records.
    NodeConnectionClientVT();
    /// Ends the receive thread before the registration goes away.
    ~NodeConnectionClientVT() override;

    /// Registers the record callback and its context; empty values stop delivery.
    void SetCallbackVT(RecordCallback callback, void* context) override;
    /// Keeps the names of the objects whose data type this stream accepts.
    void SetObjectNames(const std::vector<std::string>& names,
                        const std::vector<std::string>& types) override;

private:
    void ExecuteCallback() override;

    StreamRegistration mRegistration;
};

}  // namespace comlux
