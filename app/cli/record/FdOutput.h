#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <streambuf>
#include <string>

namespace sequora::record {

/// A stream buffer that writes to a file descriptor (not owned) on every flush. A write that has
/// to wait (a pipe whose reader stopped reading) waits in short slices, so that it can be given
/// up: a stalled reader never holds the recording past a stop.
///
/// Threads: one writer at a time (the recorder's lock); GiveUpAfter from any thread.
class FdOutput : public std::streambuf {
public:
    explicit FdOutput(int fd) : mFd(fd) {}

    /// From `limit` after now on, a write that has to wait fails instead (Error() is ETIMEDOUT).
    void GiveUpAfter(std::chrono::milliseconds limit);
    /// The errno of the write that failed; 0 while none did.
    int Error() const { return mError; }

protected:
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int overflow(int c) override;
    int sync() override;

private:
    bool WriteAll();

    const int mFd;
    std::string mPending;  // written on the next flush
    int mError = 0;
    // When waiting writes give up, in steady-clock ticks; never until GiveUpAfter.
    std::atomic<std::int64_t> mGiveUpAt{INT64_MAX};
};

}  // namespace sequora::record
