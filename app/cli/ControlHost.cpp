#include "app/cli/ControlHost.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sys/stat.h>

namespace sequora::cli {

namespace {

const char kNoStartHere[] = "sequora-run starts its run itself unless it was given --wait.";
const char kTrialsFromCommandLine[] = "sequora-run takes its trials from its command line.";
// How long POST /start waits for the run it released to begin.
constexpr std::chrono::seconds kStartPatience{5};

}  // namespace

std::string ReadControlToken(const std::string& path, std::string& problem) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        problem = "cannot read the control token " + path + ": " + std::strerror(errno);
        return {};
    }
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        problem = "the control token " + path + " may be read by others than its owner (chmod 600 it)";
        return {};
    }
    std::ifstream file(path);
    std::string token;
    std::getline(file, token);
    while (!token.empty() && (token.back() == '\r' || token.back() == ' ')) token.pop_back();
    if (token.empty()) problem = "the control token " + path + " is empty";
    return token;
}

ControlHost::ControlHost()
    : mControl(ControlActions{[this](const StartRequest& request) { return Start(request); },
                              [this] { return PauseContinue(); },
                              [this] { return Stop(); },
                              {}}) {}

ControlHost::~ControlHost() {
    Close();
}

bool ControlHost::Serve(const ControlServerOptions& options, std::string& reason) {
    return mServer.Start(options, reason);
}

void ControlHost::Close() {
    mServer.Stop();
}

void ControlHost::Attach(TrialRunner* runner, std::function<void()> stop) {
    {
        std::unique_lock lock(mLock);
        mChanged.wait(lock, [&] { return mCallsInProgress == 0; });
        mRunner = runner;
        mStop = std::move(stop);
        mStarted = mStarted || runner != nullptr;
    }
    mChanged.notify_all();
}

bool ControlHost::WaitForStart() {
    std::unique_lock lock(mLock);
    mWaiting = true;
    mChanged.wait(lock, [&] { return mStartAsked || mStopAsked; });
    mWaiting = false;
    return !mStopAsked;
}

void ControlHost::Interrupt() {
    {
        std::lock_guard guard(mLock);
        mStopAsked = true;
    }
    mChanged.notify_all();
}

std::string ControlHost::Start(const StartRequest& request) {
    if (request.trials || request.continuous) return kTrialsFromCommandLine;
    std::unique_lock lock(mLock);
    if (mStarted || mStartAsked) return kRunUnderWayRefusal;
    if (!mWaiting) return kNoStartHere;
    mStartAsked = true;
    mChanged.notify_all();
    mChanged.wait_for(lock, kStartPatience, [&] { return mStarted; });
    return {};
}

std::string ControlHost::PauseContinue() {
    TrialRunner* runner = nullptr;
    {
        std::lock_guard guard(mLock);
        runner = mRunner;
        if (runner == nullptr) return kNoRunRefusal;
        ++mCallsInProgress;
    }
    runner->PauseContinue();
    mControl.SetPaused(runner->Paused());
    {
        std::lock_guard guard(mLock);
        --mCallsInProgress;
    }
    mChanged.notify_all();
    return {};
}

std::string ControlHost::Stop() {
    std::function<void()> stop;
    {
        std::unique_lock lock(mLock);
        if (mWaiting && !mStartAsked) {
            mStopAsked = true;
            lock.unlock();
            mChanged.notify_all();
            // Nothing ran: the run is over before it began.
            RunEndInfo info;
            info.how = RunEnd::Stopped;
            mControl.RunEnded(info);
            return {};
        }
        stop = mStop;
        if (!stop) return kNoRunRefusal;
        ++mCallsInProgress;
    }
    mControl.SetStopping();
    stop();
    {
        std::lock_guard guard(mLock);
        --mCallsInProgress;
    }
    mChanged.notify_all();
    return {};
}

}  // namespace sequora::cli
