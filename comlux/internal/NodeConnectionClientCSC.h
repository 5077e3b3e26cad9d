#pragma once

#include "comlux/internal/NodeConnectionClient.h"
#include "comlux/internal/StreamRegistration.h"

namespace comlux {

/// Continuously sampled channel records; the number at offset 8 indexes the channel objects.
class NodeConnectionClientCSC final : public NodeConnectionClient {
public:
    /// A listener for 1044-byte records.
    NodeConnectionClientCSC();
    /// Ends the receive thread before the registration goes away.
    ~NodeConnectionClientCSC() override;

    /// Registers the record callback and its context; empty values stop delivery.
    void SetCallbackCSC(RecordCallback callback, void* context) override;
    /// Keeps the names of the objects whose data type this stream accepts.
    void SetObjectNames(const std::vector<std::string>& names,
                        const std::vector<std::string>& types) override;

private:
    void ExecuteCallback() override;

    StreamRegistration mRegistration;
};

}  // namespace comlux
