#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "app/core/ControlServer.h"
#include "app/core/RunControl.h"
#include "app/core/TrialRunner.h"

namespace sequora::cli {

/// sequora-run's side of the control API: what /start, /pause, /continue and /stop do here.
/// They call the same operations as the runner's own signals: Stop is what Ctrl-C does.
///
/// Threads: the main thread attaches and detaches the run; the server's threads call the
/// actions. Every member below the lock is guarded by it; an action copies what it needs under
/// the lock and calls the runner outside it.
/// The token in the file at `path` (its first line); empty with `problem` set when the file
/// cannot be read, is empty, or can be read by others than its owner.
std::string ReadControlToken(const std::string& path, std::string& problem);

class ControlHost {
public:
    ControlHost();
    ~ControlHost();
    ControlHost(const ControlHost&) = delete;
    ControlHost& operator=(const ControlHost&) = delete;

    RunControl& Control() { return mControl; }
    /// Starts serving; false with the reason when it cannot listen.
    bool Serve(const ControlServerOptions& options, std::string& reason);
    /// The port served on, once serving.
    int Port() const { return mServer.Port(); }
    /// Stops serving: requests in progress are answered first.
    void Close();

    /// The run now playing, and how it is stopped; null and empty once it is over (then it
    /// returns when no action uses the runner any more).
    void Attach(TrialRunner* runner, std::function<void()> stop);
    /// Waits (after connecting, before the first trial) for POST /start; false when a stop
    /// came instead (POST /stop or Interrupt).
    bool WaitForStart();
    /// Ctrl-C while waiting for the start.
    void Interrupt();

private:
    std::string Start(const StartRequest& request);
    std::string PauseContinue();
    std::string Stop();

    RunControl mControl;
    ControlServer mServer{mControl};
    std::mutex mLock;  // guards the members below
    std::condition_variable mChanged;
    TrialRunner* mRunner = nullptr;
    std::function<void()> mStop;
    bool mWaiting = false;
    bool mStartAsked = false;
    bool mStopAsked = false;
    bool mStarted = false;
    int mCallsInProgress = 0;  // actions calling the runner outside the lock
};

}  // namespace sequora::cli
