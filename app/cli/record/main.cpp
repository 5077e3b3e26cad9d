// comlux-record: writes the records of Galdera objects' data streams as tab-separated lines.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <ctime>
#include <fstream>
#include <iostream>
#include <optional>
#include <pthread.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/cli/record/ComluxRecord.h"
#include "app/cli/record/RecorderCommandLine.h"
#include "comlux/ComluxClient.h"

namespace {

sigset_t StopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

// True when a stop signal came, false when `seconds` (if given) ran out first.
bool WaitForSignal(const sigset_t& signals, std::optional<double> seconds) {
    if (!seconds) {
        int signal = 0;
        return sigwait(&signals, &signal) == 0;
    }
    using Seconds = std::chrono::duration<double>;
    const auto deadline = std::chrono::steady_clock::now() + Seconds(*seconds);
    for (;;) {
        const double left = Seconds(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) return false;
        // In slices of at most an hour, so that no wait overflows the nanoseconds it is given in.
        const double slice = std::min(left, 3600.0);
        timespec wait{static_cast<time_t>(slice), static_cast<long>((slice - std::floor(slice)) * 1e9)};
        if (sigtimedwait(&signals, nullptr, &wait) >= 0) return true;
        // Otherwise the slice ran out or another signal interrupted it: look at the clock again.
    }
}

// Returns at Ctrl-C or SIGTERM, or when `seconds` have passed. After a signal a second one ends
// the process at once, should closing hang on a server that no longer answers.
void WaitForStop(std::optional<double> seconds) {
    const sigset_t signals = StopSignals();
    if (WaitForSignal(signals, seconds)) pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    using sequora::record::RecorderCommandLine;
    // Before any thread starts, so that every thread inherits the mask and the signals are
    // only ever taken by WaitForStop.
    const sigset_t signals = StopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    const RecorderCommandLine line = sequora::record::ParseRecorderCommandLine({argv + 1, argv + argc});
    if (line.outcome == RecorderCommandLine::Outcome::Help) {
        std::cout << line.text;
        return sequora::record::kExitDone;
    }
    if (line.outcome == RecorderCommandLine::Outcome::BadUsage) {
        std::cerr << "comlux-record: " << line.text << "\n(comlux-record --help tells more)" << std::endl;
        return sequora::record::kExitBadUsage;
    }
    const sequora::record::RecorderOptions& options = line.options;

    std::ofstream file;
    if (!options.outPath.empty()) {
        file.open(options.outPath, std::ios::binary | std::ios::trunc);
        if (!file) {
            std::cerr << "comlux-record: cannot write " << options.outPath << std::endl;
            return sequora::record::kExitBadUsage;
        }
    }
    std::ostream& out = options.outPath.empty() ? std::cout : file;
    const bool watched = options.outPath.empty() && isatty(STDOUT_FILENO) == 1;

    comlux::ComluxClient client;
    return sequora::record::RecordStreams(options, client, out, watched, std::cerr,
                                          [&options] { WaitForStop(options.seconds); });
}
