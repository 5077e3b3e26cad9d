#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "galdera/Records.h"
#include "galdera/TcpSocket.h"

namespace galdera {

/// One data connection to a client's listener: sends records of one kind, back to back,
/// for every object opened on it, each at `recordsPerSecond`. Runs a thread of its own,
/// which ends on Stop(), on destruction or when the client goes away.
class StreamSender {
public:
    /// Starts the sending thread on `connection` (shared with the server's shutdown list).
    StreamSender(std::shared_ptr<TcpSocket> connection, StreamKind kind, double recordsPerSecond,
                 std::chrono::steady_clock::time_point epoch);
    /// Stops and joins the thread.
    ~StreamSender();
    StreamSender(const StreamSender&) = delete;
    StreamSender& operator=(const StreamSender&) = delete;

    /// Starts records carrying `number` (again opening an open number changes nothing).
    void Open(int number);
    /// Stops records carrying `number`.
    void Close(int number);
    /// Ends the thread and closes the connection's both directions.
    void Stop();
    /// The kind of record sent.
    StreamKind Kind() const { return mKind; }

private:
    struct Schedule {
        std::chrono::steady_clock::time_point openedAt;
        std::uint64_t sent = 0;
    };

    void Run();
    /// Records due by `now` for every open number, appended to `batch`; the next due time.
    std::chrono::steady_clock::time_point CollectDue(std::chrono::steady_clock::time_point now,
                                                     std::vector<unsigned char>& batch);

    const std::shared_ptr<TcpSocket> mConnection;
    const StreamKind mKind;
    const double mRecordsPerSecond;
    const std::chrono::steady_clock::time_point mEpoch;
    std::mutex mMutex;  // guards mOpen, mStopping, mSequence
    std::condition_variable mWake;
    std::map<int, Schedule> mOpen;
    bool mStopping = false;
    std::uint32_t mSequence = 0;
    std::thread mThread;  // last member: started after everything it uses exists
};

}  // namespace galdera
