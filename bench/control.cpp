// The control API's speed: how long POST /stop takes from the request to the answer that the
// run has ended (a bit set, so the answer waits for its reset, answered by the in-process
// stand-in), and how many sequential GET /status one client gets answered per second.
//
// And what a client polling GET /status at 100 Hz does to a run's timing: the p99 lateness of
// 50 rows of an event and 20 ms, from the run's own timing summary, with and without it.
//
// Baselines in the same process: the same stop called directly (TrialRunner::Stop, then the
// run's end awaited), and a bare cpp-httplib server answering a fixed body.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <httplib.h>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "app/core/ComluxCommandSender.h"
#include "app/core/ControlServer.h"
#include "app/core/ItemList.h"
#include "app/core/RunControl.h"
#include "app/core/SteadyRunClock.h"
#include "app/core/TimingSummary.h"
#include "app/core/TrialRunner.h"
#include "bench/Figures.h"
#include "bench/LoopbackSession.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kStops = 30;
constexpr auto kStatusSpan = 1s;

using bench::Ms;
using bench::Percentile;

class QuietObserver : public sequora::RunObserver {
public:
    void ShowMessage(const std::string&) override {}
    void ControlsChanged() override {}
};

// A run that sets a bit and then waits in a long delay, controlled through the API.
struct ControlledRun {
    explicit ControlledRun(comlux::ComluxClient& client) : sender(client) {
        items.AddItemRow({"No", "NA", "Yes", "3", "On", "No", "NA", "60000"});
    }
    sequora::ItemList items;
    sequora::ComluxCommandSender sender;
    sequora::SteadyRunClock clock;
    QuietObserver quiet;
    sequora::TrialRunner* current = nullptr;
    sequora::RunControl control{
        sequora::ControlActions{[](const sequora::StartRequest&) { return std::string("no"); },
                                [this] {
                                    current->PauseContinue();
                                    return std::string();
                                },
                                [this] {
                                    current->Stop();
                                    return std::string();
                                },
                                {}}};
    sequora::ControlledObserver observer{quiet, control};
};

// Starts a run and returns once it waits in its delay.
void StartAndAwaitDelay(sequora::TrialRunner& runner, sequora::RunControl& control) {
    runner.Start();
    while (control.Status().row != 1) std::this_thread::sleep_for(100us);
}

// The p99 lateness (ms) of a run of 50 events 20 ms apart, its journal read back.
double LatenessP99(comlux::ComluxClient& client, sequora::RunControl& control, const std::string& journal) {
    sequora::ItemList items;
    for (int row = 0; row < 50; ++row) items.AddItemRow({"Yes", "e", "No", "NA", "NA", "No", "NA", "20"});
    sequora::ComluxCommandSender sender(client);
    sequora::SteadyRunClock clock;
    QuietObserver quiet;
    sequora::ControlledObserver observer(quiet, control);
    sequora::TrialRunner runner(items, sender, observer, clock);
    runner.SetRealtime(true);
    runner.SetJournal({journal, "127.0.0.1", ""});
    runner.Start();
    runner.WaitForWorkers();
    const sequora::SavedJournal saved = sequora::ReadSavedJournal(journal);
    std::remove(journal.c_str());
    return static_cast<double>(saved.timing.lateness.Percentile(99)) / 1000.0;
}

int Run() {
    bench::LoopbackSession session;
    if (!session.Connect("control", true)) return 1;
    ControlledRun run(session.client);
    sequora::TrialRunner runner(run.items, run.sender, run.observer, run.clock);
    runner.SetRunContinuously(true);
    run.current = &runner;
    sequora::ControlServer server(run.control);
    std::string reason;
    if (!server.Start({"127.0.0.1", 0, ""}, reason)) {
        std::fprintf(stderr, "control: %s\n", reason.c_str());
        return 1;
    }
    httplib::Client client("127.0.0.1", server.Port());
    client.set_keep_alive(true);
    client.set_tcp_nodelay(true);

    std::vector<double> viaApi, direct;
    for (int i = 0; i < kStops; ++i) {
        StartAndAwaitDelay(runner, run.control);
        const auto asked = Clock::now();
        const auto answer = client.Post("/stop", "", "application/json");
        viaApi.push_back(Ms(Clock::now() - asked));
        if (!answer || answer->status != 200) {
            std::fprintf(stderr, "control: POST /stop failed\n");
            return 1;
        }
        runner.WaitForWorkers();

        StartAndAwaitDelay(runner, run.control);
        const auto stopped = Clock::now();
        runner.Stop();
        runner.WaitForWorkers();
        direct.push_back(Ms(Clock::now() - stopped));
    }

    const auto countStatus = [](httplib::Client& http, const char* path) {
        long long answered = 0;
        const auto start = Clock::now();
        while (Clock::now() - start < kStatusSpan) {
            if (auto result = http.Get(path); result && result->status == 200) ++answered;
        }
        return static_cast<double>(answered) / std::chrono::duration<double>(Clock::now() - start).count();
    };
    const double statusPerS = countStatus(client, "/status");
    httplib::Server bare;
    bare.set_tcp_nodelay(true);
    bare.Get("/status", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("{}", "application/json");
    });
    const int barePort = bare.bind_to_any_port("127.0.0.1");
    std::thread bareThread([&bare] { bare.listen_after_bind(); });
    while (!bare.is_running()) std::this_thread::sleep_for(1ms);
    httplib::Client bareClient("127.0.0.1", barePort);
    bareClient.set_keep_alive(true);
    bareClient.set_tcp_nodelay(true);
    const double barePerS = countStatus(bareClient, "/status");
    bare.stop();
    bareThread.join();
    const std::string journal = "/tmp/sequora-bench-control-" + std::to_string(::getpid()) + ".tsv";
    const double quietP99 = LatenessP99(session.client, run.control, journal);
    std::atomic<bool> polling{true};
    std::thread poller([&] {
        httplib::Client poll("127.0.0.1", server.Port());
        poll.set_tcp_nodelay(true);
        auto next = Clock::now();
        while (polling) {
            poll.Get("/status");
            next += 10ms;
            std::this_thread::sleep_until(next);
        }
    });
    const double polledP99 = LatenessP99(session.client, run.control, journal);
    polling = false;
    poller.join();
    server.Stop();

    std::printf("BENCH control stop_to_ended_ms_median %.3f\n", Percentile(viaApi, 0.5));
    std::printf("BENCH control stop_to_ended_ms_p99 %.3f\n", Percentile(viaApi, 0.99));
    std::printf("BENCH control stop_to_ended_ratio_to_direct_stop %.2f\n",
                Percentile(viaApi, 0.5) / std::max(1e-6, Percentile(direct, 0.5)));
    std::printf("BENCH control status_per_s %.0f\n", statusPerS);
    std::printf("BENCH control status_ratio_to_bare_http %.2f\n", statusPerS / std::max(1.0, barePerS));
    std::printf("BENCH control trial_timing_p99_ms_quiet %.3f\n", quietP99);
    std::printf("BENCH control trial_timing_p99_ms_polled_100hz %.3f\n", polledP99);
    std::printf("BENCH control trial_timing_p99_shift_ms %.3f\n", polledP99 - quietP99);
    return 0;
}

}  // namespace

int main() {
    return Run();
}
