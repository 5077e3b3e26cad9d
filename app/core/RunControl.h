#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/core/RunObserver.h"

namespace sequora {

/// Where a host stands, as the control API tells it.
enum class ControlState { Idle, Connecting, Running, Paused, Stopping };

/// "idle", "connecting", "running", "paused" or "stopping".
const char* ControlStateWord(ControlState state);

/// What GET /status reports.
struct ControlStatus {
    ControlState state = ControlState::Idle;
    bool connected = false;
    std::string server;
    std::string file;
    long long trial = 0;
    int trials = 0;
    bool continuous = false;
    int row = 0;
    int rows = 0;
    long long elapsedMs = 0;
    std::optional<std::uint32_t> seed;  ///< none before the first run
    std::string journal;
};

/// One server-sent event: its name and its data (one line of JSON).
struct ControlEvent {
    std::string name;
    std::string data;
};

/// The answer to a request that changes something: an HTTP status and a JSON body.
struct ControlReply {
    int status = 200;
    std::string body;  ///< one JSON object
};

/// What POST /start may ask for: a trial count, or trials until Stop. Neither: as set.
struct StartRequest {
    std::optional<int> trials;
    std::optional<bool> continuous;
};

/// The refusals every host gives in the same words: a start while a run is under way, a
/// pause, continue or stop without one.
inline constexpr const char kRunUnderWayRefusal[] = "A run is under way.";
inline constexpr const char kNoRunRefusal[] = "No run is under way.";

/// What the host does when asked through the control API: the same operations its own
/// buttons or signals call. Each returns the refusal in the host's own words, empty when done.
/// `open` (load an item list) is empty where the host opens no lists.
struct ControlActions {
    std::function<std::string(const StartRequest&)> start;
    std::function<std::string()> pauseContinue;
    std::function<std::string()> stop;
    std::function<std::string(const std::string& path)> open;
};

/// The control API's model of one host: its status, the events of its runs, and its actions.
/// Knows nothing of HTTP.
///
/// Threads: the host's threads (its run's worker among them) report through the setters and
/// the RunObserver calls, which only take the lock briefly and never wait; the server's
/// threads read the status, wait for events and call the actions. An event queue that a
/// client does not drain fills up and is dropped, so a slow client never holds up a run.
class RunControl {
public:
    /// A client's queue of events.
    class Subscription {
    public:
        /// The next event, waiting at most `timeout`; none on timeout, when the queue was
        /// dropped or the control closed (then Open() is false).
        std::optional<ControlEvent> Next(std::chrono::milliseconds timeout);
        bool Open() const;

    private:
        friend class RunControl;
        explicit Subscription(RunControl& control) : mControl(control) {}
        RunControl& mControl;
        std::deque<ControlEvent> mEvents;  // guarded by the control's lock
        bool mDropped = false;             // guarded by the control's lock
    };

    /// The most events a client may have waiting before it is dropped.
    static constexpr std::size_t kQueueLimit = 1024;

    explicit RunControl(ControlActions actions);
    ~RunControl();
    RunControl(const RunControl&) = delete;
    RunControl& operator=(const RunControl&) = delete;

    // Reported by the host.
    void SetFile(const std::string& file);
    void SetConnecting(const std::string& server);
    void SetConnected(bool connected, const std::string& server);
    void SetPaused(bool paused);
    void SetStopping();
    void RunStarted(const RunStartInfo& info);
    void TrialStarting(long long trial, int count);
    void RowStarted(long long trial, int row, int rowCount);
    void RunEnded(const RunEndInfo& info);
    /// Ends every subscription and wakes every waiting request; the host is going away.
    void Close();
    /// After Close: waits until every subscriber has taken its last events and gone, at most
    /// `patience` (a client that reads nothing must not hold the host).
    void AwaitSubscribersGone(std::chrono::milliseconds patience);

    // Asked by the server.
    ControlStatus Status() const;
    ControlReply Start(const StartRequest& request);
    /// Opens the item list at `path`; false when the host opens no lists.
    bool Opens() const { return static_cast<bool>(mActions.open); }
    ControlReply Open(const std::string& path);
    ControlReply Pause();
    ControlReply Continue();
    /// Stops the run and answers once it has ended (at most `patience` later), with its end
    /// and timing summary.
    ControlReply Stop(std::chrono::milliseconds patience);
    std::shared_ptr<Subscription> Subscribe();
    void Unsubscribe(const std::shared_ptr<Subscription>& subscription);

private:
    void PublishLocked(const ControlEvent& event);
    static ControlReply Refused(const std::string& message);
    std::string EndedJsonLocked() const;

    const ControlActions mActions;
    mutable std::mutex mLock;  // guards every member below
    std::condition_variable mChanged;
    ControlStatus mStatus;
    std::chrono::steady_clock::time_point mRunStart{};
    std::optional<RunEndInfo> mLastEnd;
    long long mRunsEnded = 0;
    bool mClosed = false;
    std::vector<std::shared_ptr<Subscription>> mSubscriptions;
};

/// Passes every report to the host's own observer and to the control model.
class ControlledObserver : public RunObserver {
public:
    ControlledObserver(RunObserver& host, RunControl& control) : mHost(host), mControl(control) {}
    void ShowMessage(const std::string& text) override { mHost.ShowMessage(text); }
    void ControlsChanged() override { mHost.ControlsChanged(); }
    void TrialStarting(const RunPosition& at) override;
    void RunStarted(const RunStartInfo& info) override;
    void RowStarted(const RunPosition& at) override;
    void PauseHeld(const RunPosition& at, bool held) override { mHost.PauseHeld(at, held); }
    void ResetsStarting(std::uint64_t run, const std::vector<int>& bits) override {
        mHost.ResetsStarting(run, bits);
    }
    void JournalStopped(std::uint64_t run, const std::string& message) override {
        mHost.JournalStopped(run, message);
    }
    void RunEnded(const RunEndInfo& info) override;

private:
    RunObserver& mHost;
    RunControl& mControl;
};

}  // namespace sequora
