#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <sys/types.h>
#include <vector>

#include "tests/support/TempDir.h"

namespace testsupport {

/// A started program of build/bin whose stdout and stderr go to files in a temporary
/// directory. Killed on destruction if it still runs.
class ToolProcess {
public:
    /// Starts build/bin/`tool` (or `tool` itself when it is an absolute path) with `args`; its output goes to
    /// out.txt and err.txt in `dir`.
    ToolProcess(const std::string& tool, const TempDir& dir, const std::vector<std::string>& args);
    ~ToolProcess();
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    /// True when the process could be started.
    bool Started() const { return mPid > 0; }
    /// Sends the signal to the process.
    void Signal(int signal) const;
    /// The exit status (128 + signal when killed by one), or -1 when the process has not
    /// ended within `limit`.
    int Wait(std::chrono::milliseconds limit = std::chrono::minutes(1));
    /// Everything written to stdout so far.
    std::string Out() const;
    /// Waits until stdout holds at least `bytes`; false when it does not within `limit`.
    bool WaitForOutput(std::size_t bytes, std::chrono::milliseconds limit = std::chrono::minutes(1)) const;
    /// The lines written to stderr so far.
    std::vector<std::string> ErrLines() const;

private:
    std::string mOutPath, mErrPath;
    pid_t mPid = -1;
    bool mReaped = false;
};

}  // namespace testsupport
