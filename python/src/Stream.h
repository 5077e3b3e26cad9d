#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "python/src/Client.h"
#include "python/src/StreamBuffer.h"

namespace comlux_python {

/// The streams of some server objects, open from construction until Close(), and the buffer
/// their records collect in.
///
/// Threads: the script's thread; the records arrive through the buffer (see StreamBuffer).
class Stream {
public:
    /// Opens the streams of `objects`; the client must outlive the stream.
    Stream(Client& client, const std::vector<std::string>& objects, std::size_t maxBuffered);
    /// Closes the streams if the script has not; a failure then goes unreported.
    ~Stream();
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    /// Closes the streams; what is buffered can still be read. Does nothing the second time.
    void Close();
    /// The oldest buffered segment, waiting for one up to `timeoutSeconds` (forever without);
    /// nullopt when none came in time, or the stream is closed and empty. Raises the Python error
    /// of a signal handler (Ctrl-C) within kWaitSlice.
    std::optional<Segment> Next(std::optional<double> timeoutSeconds);

    std::uint64_t Dropped() const { return mBuffer->Dropped(); }
    std::size_t Buffered() const { return mBuffer->Buffered(); }
    std::size_t MaxBuffered() const { return mMaxBuffered; }
    bool Closed() const { return mClosed; }
    std::vector<std::string> Objects() const;

private:
    Client& mClient;
    const std::size_t mMaxBuffered;
    std::vector<StreamObject> mOpened;  // the objects whose streams were opened
    std::shared_ptr<StreamBuffer> mBuffer;
    bool mClosed = false;
};

}  // namespace comlux_python
