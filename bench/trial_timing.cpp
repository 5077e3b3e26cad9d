// Timing fidelity of a trial run: 50 rows, each posting an event and waiting 20 ms, played
// through TrialRunner and ComluxClient against the in-process server on loopback, with the
// real-time treatment sequora-run asks for.
//
// The error of a row is how late its event was handed to the client after its due time (the
// previous answer plus the 20 ms): the runner's own lateness, measured where it sends, free of
// the server's and the network's jitter. Because these machines are virtual and shared, each
// figure stands beside the machine's own limit, measured in the same run: a bare loop of the
// same absolute-deadline sleeps (SteadyRunClock, last half millisecond awake) on a thread with
// the same real-time treatment under the same load, with no sends. The excess is what the
// runner adds to that limit.
//
// Unloaded, then with one busy thread per core at normal priority, then unloaded with the
// journal written.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "app/core/ComluxCommandSender.h"
#include "app/core/ItemList.h"
#include "app/core/RealtimeHold.h"
#include "app/core/RunObserver.h"
#include "app/core/SteadyRunClock.h"
#include "app/core/TrialRunner.h"
#include "bench/Figures.h"
#include "bench/LoopbackSession.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRows = 50;
constexpr std::chrono::milliseconds kDelay{20};
constexpr int kTimedRuns = 3;

class SilentObserver : public sequora::RunObserver {
public:
    void ShowMessage(const std::string&) override {}
    void ControlsChanged() override {}
    void RunStarted(const sequora::RunStartInfo& info) override {
        std::lock_guard guard(mLock);
        mGrant = info.realtime;
    }
    sequora::RealtimeGrant Grant() {
        std::lock_guard guard(mLock);
        return mGrant;
    }

private:
    std::mutex mLock;  // guards mGrant
    sequora::RealtimeGrant mGrant;
};

// Notes when each command was handed over and when its exchange was over.
class TimingSender : public sequora::CommandSender {
public:
    explicit TimingSender(comlux::ComluxClient& client) : mInner(client) {}
    bool SendCommand(const std::string& command, std::string& answer) override {
        const Clock::time_point handed = Clock::now();
        const bool ok = mInner.SendCommand(command, answer);
        mExchanges.push_back({handed, Clock::now()});
        return ok;
    }
    struct Exchange {
        Clock::time_point handed, over;
    };
    // Worker thread only while the run goes; read after it has ended.
    std::vector<Exchange> mExchanges;

private:
    sequora::ComluxCommandSender mInner;
};

struct RunResult {
    std::vector<double> errorsMs;  // each row's lateness after the first
    std::vector<double> exchangeMs;
    double totalMs = 0;
    bool realtime = false;
};

using bench::Ms;
using bench::Percentile;

RunResult PlayList(comlux::ComluxClient& client, std::chrono::milliseconds delay,
                   const std::string& journal) {
    sequora::ItemList items;
    for (int row = 0; row < kRows; ++row) {
        items.AddItemRow(
            {"Yes", "e" + std::to_string(row), "No", "NA", "NA", "No", "NA", std::to_string(delay.count())});
    }
    TimingSender sender(client);
    sequora::SteadyRunClock clock;
    SilentObserver observer;
    sequora::TrialRunner runner(items, sender, observer, clock);
    runner.SetRealtime(true);
    runner.SetSeed(1);
    runner.SetJournal({journal, "127.0.0.1", ""});

    const auto start = Clock::now();
    runner.Start();
    runner.WaitForWorkers();
    RunResult result;
    result.totalMs = Ms(Clock::now() - start);
    result.realtime = observer.Grant().fifo;
    const auto& exchanges = sender.mExchanges;
    for (std::size_t i = 0; i < exchanges.size(); ++i) {
        result.exchangeMs.push_back(Ms(exchanges[i].over - exchanges[i].handed));
        if (i > 0) result.errorsMs.push_back(Ms(exchanges[i].handed - (exchanges[i - 1].over + delay)));
    }
    return result;
}

// The machine's limit: the same sleeps as one run's delays, nothing else.
std::vector<double> BareLoopErrors() {
    std::vector<double> errors;
    std::thread([&errors] {
        const sequora::RealtimeHold realtime(true);
        sequora::SteadyRunClock clock;
        const auto never = [] { return false; };
        Clock::time_point woke = Clock::now();
        for (int i = 0; i < kRows - 1; ++i) {
            const Clock::time_point deadline = woke + kDelay;
            clock.WaitUntil(deadline, never);
            woke = Clock::now();
            errors.push_back(Ms(woke - deadline));
        }
    }).join();
    return errors;
}

// One thread per core spinning at normal priority while it lives.
class BusyLoad {
public:
    BusyLoad() {
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        for (unsigned i = 0; i < cores; ++i) {
            mThreads.emplace_back([this] {
                while (!mStop.load(std::memory_order_relaxed)) {}
            });
        }
    }
    ~BusyLoad() {
        mStop = true;
        for (std::thread& thread : mThreads) thread.join();
    }

private:
    std::atomic<bool> mStop{false};
    std::vector<std::thread> mThreads;
};

// The errors of one kind of measurement, gathered over the rounds.
struct Samples {
    std::vector<double> errorsMs;
    double totalMs = 0;
    bool realtime = true;

    void Add(const RunResult& run) {
        errorsMs.insert(errorsMs.end(), run.errorsMs.begin(), run.errorsMs.end());
        totalMs += run.totalMs;
        realtime = realtime && run.realtime;
    }
    void Add(const std::vector<double>& bare) { errorsMs.insert(errorsMs.end(), bare.begin(), bare.end()); }
    double Median() const { return Percentile(errorsMs, 0.5); }
    double P99() const { return Percentile(errorsMs, 0.99); }
};

}  // namespace

int main() {
    bench::LoopbackSession session;
    if (!session.Connect("trial_timing", true)) return 1;
    comlux::ComluxClient& client = session.client;

    // Baseline: the same list without delays gives one command's round trip.
    const RunResult baseline = PlayList(client, std::chrono::milliseconds(0), "");
    if (baseline.exchangeMs.empty()) {
        std::fprintf(stderr, "trial_timing: no command was sent\n");
        return 1;
    }
    const double roundTripMs = Percentile(baseline.exchangeMs, 0.5);

    char journalPath[] = "/tmp/trial_timing_journal_XXXXXX";
    const int journalFd = ::mkstemp(journalPath);
    if (journalFd < 0) {
        std::fprintf(stderr, "trial_timing: no temporary file for the journal\n");
        return 1;
    }
    ::close(journalFd);

    // The kinds of measurement take turns, so that each sees the same spells of the machine's
    // own noise (other programs, the host of the virtual machine).
    Samples limit, plain, journaled, loadedLimit, loaded;
    for (int round = 0; round < kTimedRuns; ++round) {
        limit.Add(BareLoopErrors());
        plain.Add(PlayList(client, kDelay, ""));
        journaled.Add(PlayList(client, kDelay, journalPath));
        const BusyLoad load;
        loadedLimit.Add(BareLoopErrors());
        loaded.Add(PlayList(client, kDelay, ""));
    }
    ::unlink(journalPath);
    client.CloseConnection();
    const double idealMs = kTimedRuns * kRows * (Ms(kDelay) + roundTripMs);

    std::printf("BENCH trial_timing round_trip_ms %.4f\n", roundTripMs);
    std::printf("BENCH trial_timing median_error_ms %.4f\n", plain.Median());
    std::printf("BENCH trial_timing p99_error_ms %.4f\n", plain.P99());
    std::printf("BENCH trial_timing total_ratio_to_ideal %.4f\n", plain.totalMs / idealMs);
    std::printf("BENCH trial_timing limit_p99_error_ms %.4f\n", limit.P99());
    std::printf("BENCH trial_timing excess_p99_ms %.4f\n", plain.P99() - limit.P99());
    std::printf("BENCH trial_timing journal_p99_error_ms %.4f\n", journaled.P99());
    std::printf("BENCH trial_timing_loaded median_error_ms %.4f\n", loaded.Median());
    std::printf("BENCH trial_timing_loaded p99_error_ms %.4f\n", loaded.P99());
    std::printf("BENCH trial_timing_loaded limit_p99_error_ms %.4f\n", loadedLimit.P99());
    std::printf("BENCH trial_timing_loaded excess_p99_ms %.4f\n", loaded.P99() - loadedLimit.P99());
    std::printf("BENCH trial_timing_loaded realtime_granted %d\n", loaded.realtime ? 1 : 0);
    return 0;
}
