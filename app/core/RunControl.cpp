#include "app/core/RunControl.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace sequora {

namespace {

using Json = nlohmann::json;

const char kNotPaused[] = "The run is not paused.";
const char kAlreadyPaused[] = "The run is paused already.";
const char kStopTooSlow[] = "The run has not ended yet.";
const char kClosing[] = "Sequora is closing.";

long long Milliseconds(std::chrono::nanoseconds span) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(span).count();
}

}  // namespace

const char* ControlStateWord(ControlState state) {
    switch (state) {
        case ControlState::Idle: return "idle";
        case ControlState::Connecting: return "connecting";
        case ControlState::Running: return "running";
        case ControlState::Paused: return "paused";
        case ControlState::Stopping: return "stopping";
    }
    return "idle";
}

std::optional<ControlEvent> RunControl::Subscription::Next(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mControl.mLock);
    mControl.mChanged.wait_for(lock, timeout,
                               [&] { return !mEvents.empty() || mDropped || mControl.mClosed; });
    if (mEvents.empty() || mDropped) return std::nullopt;
    ControlEvent event = std::move(mEvents.front());
    mEvents.pop_front();
    return event;
}

bool RunControl::Subscription::Open() const {
    std::lock_guard guard(mControl.mLock);
    return !mDropped && !mControl.mClosed;
}

RunControl::RunControl(ControlActions actions) : mActions(std::move(actions)) {}

RunControl::~RunControl() {
    Close();
}

void RunControl::SetFile(const std::string& file) {
    std::lock_guard guard(mLock);
    mStatus.file = file;
}

void RunControl::SetConnecting(const std::string& server) {
    std::lock_guard guard(mLock);
    mStatus.state = ControlState::Connecting;
    mStatus.server = server;
}

void RunControl::SetConnected(bool connected, const std::string& server) {
    {
        std::lock_guard guard(mLock);
        if (mStatus.state == ControlState::Connecting) mStatus.state = ControlState::Idle;
        if (mStatus.connected == connected && mStatus.server == server) return;
        mStatus.connected = connected;
        mStatus.server = server;
        PublishLocked({"connection", Json{{"connected", connected}, {"server", server}}.dump()});
    }
    mChanged.notify_all();
}

void RunControl::SetPaused(bool paused) {
    {
        std::lock_guard guard(mLock);
        const bool running = mStatus.state == ControlState::Running || mStatus.state == ControlState::Paused;
        if (!running || (mStatus.state == ControlState::Paused) == paused) return;
        mStatus.state = paused ? ControlState::Paused : ControlState::Running;
        PublishLocked(
            {paused ? "paused" : "continued", Json{{"trial", mStatus.trial}, {"row", mStatus.row}}.dump()});
    }
    mChanged.notify_all();
}

void RunControl::SetStopping() {
    std::lock_guard guard(mLock);
    if (mStatus.state == ControlState::Running || mStatus.state == ControlState::Paused)
        mStatus.state = ControlState::Stopping;
}

void RunControl::RunStarted(const RunStartInfo& info) {
    std::lock_guard guard(mLock);
    mStatus.state = ControlState::Running;
    mStatus.seed = info.seed;
    mStatus.trials = info.trialCount;
    mStatus.continuous = info.continuous;
    mStatus.journal = info.journalPath;
    mStatus.trial = 0;
    mStatus.row = 0;
    mStatus.rows = 0;
    mRunStart = std::chrono::steady_clock::now();
}

void RunControl::TrialStarting(long long trial, int count) {
    std::lock_guard guard(mLock);
    mStatus.trial = trial;
    if (count > 0) mStatus.trials = count;
}

void RunControl::RowStarted(long long trial, int row, int rowCount) {
    {
        std::lock_guard guard(mLock);
        mStatus.trial = trial;
        mStatus.row = row;
        mStatus.rows = rowCount;
        PublishLocked({"row", Json{{"trial", trial}, {"row", row}, {"rows", rowCount}}.dump()});
    }
    mChanged.notify_all();
}

void RunControl::RunEnded(const RunEndInfo& info) {
    {
        std::lock_guard guard(mLock);
        mStatus.state = ControlState::Idle;
        mStatus.elapsedMs = Milliseconds(info.elapsed);
        mLastEnd = info;
        ++mRunsEnded;
        PublishLocked({"ended", EndedJsonLocked()});
    }
    mChanged.notify_all();
}

void RunControl::Close() {
    {
        std::lock_guard guard(mLock);
        mClosed = true;
    }
    mChanged.notify_all();
}

ControlStatus RunControl::Status() const {
    std::lock_guard guard(mLock);
    ControlStatus status = mStatus;
    const bool playing = status.state == ControlState::Running || status.state == ControlState::Paused ||
                         status.state == ControlState::Stopping;
    if (playing) status.elapsedMs = Milliseconds(std::chrono::steady_clock::now() - mRunStart);
    return status;
}

ControlReply RunControl::Start(const StartRequest& request) {
    if (const std::string refusal = mActions.start(request); !refusal.empty()) return Refused(refusal);
    return {200, Json{{"state", ControlStateWord(Status().state)}}.dump()};
}

ControlReply RunControl::Open(const std::string& path) {
    if (const std::string refusal = mActions.open(path); !refusal.empty()) return Refused(refusal);
    const ControlStatus status = Status();
    return {200, Json{{"state", ControlStateWord(status.state)}, {"file", status.file}}.dump()};
}

ControlReply RunControl::Pause() {
    const ControlState state = Status().state;
    if (state == ControlState::Paused) return Refused(kAlreadyPaused);
    if (state != ControlState::Running) return Refused(kNoRunRefusal);
    if (const std::string refusal = mActions.pauseContinue(); !refusal.empty()) return Refused(refusal);
    return {200, Json{{"state", ControlStateWord(Status().state)}}.dump()};
}

ControlReply RunControl::Continue() {
    if (Status().state != ControlState::Paused) return Refused(kNotPaused);
    if (const std::string refusal = mActions.pauseContinue(); !refusal.empty()) return Refused(refusal);
    return {200, Json{{"state", ControlStateWord(Status().state)}}.dump()};
}

ControlReply RunControl::Stop(std::chrono::milliseconds patience) {
    long long endedBefore = 0;
    {
        std::lock_guard guard(mLock);
        endedBefore = mRunsEnded;
    }
    if (const std::string refusal = mActions.stop(); !refusal.empty()) return Refused(refusal);
    std::unique_lock lock(mLock);
    const bool ended = mChanged.wait_for(lock, patience, [&] { return mRunsEnded > endedBefore || mClosed; });
    if (!ended) return {504, Json{{"error", kStopTooSlow}}.dump()};
    if (mRunsEnded == endedBefore) return {503, Json{{"error", kClosing}}.dump()};
    return {200, EndedJsonLocked()};
}

std::shared_ptr<RunControl::Subscription> RunControl::Subscribe() {
    auto subscription = std::shared_ptr<Subscription>(new Subscription(*this));
    std::lock_guard guard(mLock);
    mSubscriptions.push_back(subscription);
    return subscription;
}

void RunControl::Unsubscribe(const std::shared_ptr<Subscription>& subscription) {
    {
        std::lock_guard guard(mLock);
        mSubscriptions.erase(std::remove(mSubscriptions.begin(), mSubscriptions.end(), subscription),
                             mSubscriptions.end());
    }
    mChanged.notify_all();
}

void RunControl::AwaitSubscribersGone(std::chrono::milliseconds patience) {
    std::unique_lock lock(mLock);
    mChanged.wait_for(lock, patience, [this] { return mSubscriptions.empty(); });
}

void RunControl::PublishLocked(const ControlEvent& event) {
    for (const auto& subscription : mSubscriptions) {
        if (subscription->mDropped) continue;
        if (subscription->mEvents.size() >= kQueueLimit) {
            subscription->mDropped = true;
            subscription->mEvents.clear();
            continue;
        }
        subscription->mEvents.push_back(event);
    }
}

ControlReply RunControl::Refused(const std::string& message) {
    return {409, Json{{"error", message}}.dump()};
}

std::string RunControl::EndedJsonLocked() const {
    if (!mLastEnd) return Json{{"ended", nullptr}}.dump();
    Json ended{{"ended", RunEndWord(mLastEnd->how)},
               {"elapsed_ms", Milliseconds(mLastEnd->elapsed)},
               {"trial", mLastEnd->trial},
               {"row", mLastEnd->row},
               {"timing", mLastEnd->timing}};
    if (!mLastEnd->message.empty()) ended["message"] = mLastEnd->message;
    return ended.dump();
}

void ControlledObserver::TrialStarting(const RunPosition& at) {
    mControl.TrialStarting(at.trial, at.trialCount);
    mHost.TrialStarting(at);
}

void ControlledObserver::RunStarted(const RunStartInfo& info) {
    mControl.RunStarted(info);
    mHost.RunStarted(info);
}

void ControlledObserver::RowStarted(const RunPosition& at) {
    mControl.RowStarted(at.trial, at.row, at.rowCount);
    mHost.RowStarted(at);
}

void ControlledObserver::RunEnded(const RunEndInfo& info) {
    mControl.RunEnded(info);
    mHost.RunEnded(info);
}

}  // namespace sequora
