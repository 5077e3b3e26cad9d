#include "python/src/Stream.h"

#include <algorithm>
#include <chrono>
#include <pybind11/pybind11.h>
#include <stdexcept>

#include "python/src/Waiting.h"

namespace py = pybind11;

namespace comlux_python {

Stream::Stream(Client& client, const std::vector<std::string>& objects, std::size_t maxBuffered)
    : mClient(client),
      mMaxBuffered(maxBuffered),
      mBuffer(client.StartStream(objects, maxBuffered, mOpened)) {}

Stream::~Stream() {
    try {
        Close();
    } catch (py::error_already_set& error) {
        error.discard_as_unraisable(__func__);
    } catch (const std::exception&) {
        // Nobody is left to tell.
    }
}

void Stream::Close() {
    if (mClosed) return;
    mClosed = true;
    mClient.StopStream(mBuffer, mOpened);
}

std::optional<Segment> Stream::Next(std::optional<double> timeoutSeconds) {
    using Clock = std::chrono::steady_clock;
    if (timeoutSeconds && !(*timeoutSeconds >= 0))
        throw std::invalid_argument("timeout must be 0 or more seconds");
    const auto deadline =
        timeoutSeconds ? Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                            std::chrono::duration<double>(std::min(*timeoutSeconds, 1e9)))
                       : Clock::time_point::max();
    for (;;) {
        if (auto segment = mBuffer->Take()) return segment;
        if (mBuffer->Closed()) return std::nullopt;
        const auto now = Clock::now();
        if (now >= deadline) return std::nullopt;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        {
            py::gil_scoped_release unlocked;
            mBuffer->WaitForRecords(std::min<std::chrono::milliseconds>(left, kWaitSlice));
        }
        if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    }
}

std::vector<std::string> Stream::Objects() const {
    std::vector<std::string> names;
    for (const StreamObject& object : mOpened) names.push_back(object.name);
    return names;
}

}  // namespace comlux_python
