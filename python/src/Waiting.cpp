#include "python/src/Waiting.h"

#include <condition_variable>
#include <mutex>
#include <pybind11/pybind11.h>
#include <thread>

namespace py = pybind11;

namespace comlux_python {

namespace {

// Where an operation's thread leaves its result.
struct Outcome {
    std::mutex lock;  // guards everything below
    std::condition_variable finished;
    bool done = false;
    bool ok = false;
};

}  // namespace

bool RunInterruptibly(const std::shared_ptr<Session>& session, Operation operation) {
    auto outcome = std::make_shared<Outcome>();
    std::thread([session, outcome, operation = std::move(operation)] {
        const bool ok = operation(session->client);
        {
            std::lock_guard lock(outcome->lock);
            outcome->ok = ok;
            outcome->done = true;
        }
        outcome->finished.notify_all();
    }).detach();
    for (;;) {
        {
            py::gil_scoped_release unlocked;
            std::unique_lock lock(outcome->lock);
            if (outcome->finished.wait_for(lock, kWaitSlice, [&] { return outcome->done; }))
                return outcome->ok;
        }
        if (PyErr_CheckSignals() != 0) {
            std::thread([session] { session->client.CloseConnection(); }).detach();
            throw py::error_already_set();
        }
    }
}

}  // namespace comlux_python
