// Timing fidelity of a trial run as the server sees it: 50 rows, each posting an event and
// waiting 20 ms, played through TrialRunner and ComluxClient against the in-process server
// on loopback. The gap between two events received should be the delay plus one command
// round trip; the round trip is measured in the same process by playing the same list with
// no delay.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "app/core/ComluxCommandSender.h"
#include "app/core/ItemList.h"
#include "app/core/RunObserver.h"
#include "app/core/SteadyRunClock.h"
#include "app/core/TrialRunner.h"
#include "bench/LoopbackSession.h"

namespace {

constexpr int kRows = 50;
constexpr int kDelayMs = 20;
constexpr int kTimedRuns = 3;

class SilentObserver : public sequora::RunObserver {
public:
    void ShowMessage(const std::string&) override {}
    void ControlsChanged() override {}
};

struct RunResult {
    std::vector<double> gapsMs;  // between consecutive events at the server
    double totalMs = 0;          // Start until the worker ended, at the client
};

double Percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const std::size_t index = static_cast<std::size_t>(std::ceil(fraction * values.size())) - 1;
    return values[std::min(index, values.size() - 1)];
}

RunResult PlayList(comlux::ComluxClient& client, galdera::GalderaServer& server, const std::string& tag,
                   int delayMs) {
    sequora::ItemList items;
    for (int row = 0; row < kRows; ++row) {
        items.AddItemRow(
            {"Yes", tag + std::to_string(row), "No", "NA", "NA", "No", "NA", std::to_string(delayMs)});
    }
    sequora::ComluxCommandSender sender(client);
    sequora::SteadyRunClock clock;
    SilentObserver observer;
    sequora::TrialRunner runner(items, sender, observer, clock);

    const auto start = std::chrono::steady_clock::now();
    runner.Start();
    runner.WaitForWorkers();
    RunResult result;
    result.totalMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();

    const std::string prefix = " -PostEvent \"" + tag;
    std::vector<std::int64_t> micros;
    for (const auto& command : server.Received()) {
        if (command.text.rfind(prefix, 0) == 0) micros.push_back(command.micros);
    }
    for (std::size_t i = 1; i < micros.size(); ++i)
        result.gapsMs.push_back((micros[i] - micros[i - 1]) / 1000.0);
    return result;
}

}  // namespace

int main() {
    bench::LoopbackSession session;
    if (!session.Connect("trial_timing", true)) return 1;
    galdera::GalderaServer& server = session.server;
    comlux::ComluxClient& client = session.client;

    // Baseline: the same list without delays gives the round trip between two events.
    const RunResult baseline = PlayList(client, server, "baseline", 0);
    const double roundTripMs = Percentile(baseline.gapsMs, 0.5);

    std::vector<double> errors;
    double totalMs = 0;
    for (int run = 0; run < kTimedRuns; ++run) {
        const RunResult timed = PlayList(client, server, "run" + std::to_string(run) + "-", kDelayMs);
        for (double gap : timed.gapsMs) errors.push_back(std::fabs(gap - (kDelayMs + roundTripMs)));
        totalMs += timed.totalMs;
    }
    client.CloseConnection();
    if (errors.empty()) {
        std::fprintf(stderr, "trial_timing: the server received no events\n");
        return 1;
    }
    const double idealMs = kTimedRuns * kRows * (kDelayMs + roundTripMs);

    std::printf("BENCH trial_timing round_trip_ms %.4f\n", roundTripMs);
    std::printf("BENCH trial_timing median_error_ms %.4f\n", Percentile(errors, 0.5));
    std::printf("BENCH trial_timing p99_error_ms %.4f\n", Percentile(errors, 0.99));
    std::printf("BENCH trial_timing total_ratio_to_ideal %.4f\n", totalMs / idealMs);
    return 0;
}
