#pragma once

#include <functional>
#include <memory>

#include "comlux/ComluxClient.h"
#include "python/src/RecordRouter.h"

namespace comlux_python {

/// The client and the router its callbacks go to, shared by the script's objects and by the
/// threads that run the client's operations, so that whichever ends last frees them.
struct Session {
    Session() { router.RegisterWith(client); }

    RecordRouter router;          // declared first: outlives the client's receive threads
    comlux::ComluxClient client;  // locks itself (see ComluxClient)
};

/// One operation of the client, true on success. Its outputs live in what the function holds,
/// so that it may finish after the script has stopped waiting for it.
using Operation = std::function<bool(comlux::ComluxClient&)>;

}  // namespace comlux_python
