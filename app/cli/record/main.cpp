// comlux-record: writes the records of Galdera objects' data streams as tab-separated lines.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <iostream>
#include <optional>
#include <pthread.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "app/cli/record/ComluxRecord.h"
#include "app/cli/record/FdOutput.h"
#include "app/cli/record/RecorderCommandLine.h"
#include "app/cli/record/StopRequest.h"
#include "comlux/ComluxClient.h"

namespace {

const char kPrefix[] = "comlux-record: ";
const char kStandardOutput[] = "standard output";
// What --out takes for standard output.
const char kStandardOutputPath[] = "-";
// Exit status after a second stop signal, as shells report an interrupted program.
constexpr int kExitSecondSignal = 130;
// After a stop signal the program has ended within this, whatever it was waiting for.
constexpr auto kStopBound = std::chrono::milliseconds(1800);
// How often the signal thread looks whether the program has ended.
constexpr long kSignalLookNs = 100'000'000;

sigset_t StopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    return signals;
}

// Waits for Ctrl-C, SIGTERM or SIGHUP until `finished`: the first requests the stop; a second
// one, or a stop that has not ended the program within kStopBound (something waits where nothing
// can reach it), ends the process at once.
void WatchSignals(sequora::record::StopRequest& stop, const std::atomic<bool>& finished) {
    const sigset_t signals = StopSignals();
    std::optional<std::chrono::steady_clock::time_point> stoppedAt;
    while (!finished) {
        timespec slice{0, kSignalLookNs};
        if (sigtimedwait(&signals, nullptr, &slice) >= 0) {
            if (stoppedAt) _exit(kExitSecondSignal);
            stoppedAt = std::chrono::steady_clock::now();
            stop.Request();
        }
        if (stoppedAt && !finished && std::chrono::steady_clock::now() - *stoppedAt > kStopBound) {
            const char text[] = "comlux-record: could not end the recording in time; ending now\n";
            (void)!::write(STDERR_FILENO, text, sizeof text - 1);
            _exit(sequora::record::kExitNoConnection);
        }
    }
}

// Opens --out: a new file, or a device or pipe that exists; never replaces a regular file.
// The descriptor, or -1 after a message.
int OpenOutput(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0 && errno == EEXIST) {
        struct stat existing {};
        if (::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
            std::cerr << kPrefix << path << " already exists; --out never replaces a file" << std::endl;
            return -1;
        }
        fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    }
    if (fd < 0) std::cerr << kPrefix << "cannot write " << path << std::endl;
    return fd;
}

void WaitForStop(const sequora::record::StopRequest& stop, std::optional<double> seconds) {
    // Beyond a year is as good as for ever, and keeps the clock's arithmetic from overflowing.
    constexpr double kForever = 365.0 * 24 * 3600;
    if (!seconds || *seconds > kForever) {
        stop.Wait();
        return;
    }
    stop.WaitFor(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(*seconds)));
}

}  // namespace

int main(int argc, char** argv) {
    using sequora::record::RecorderCommandLine;
    // Before any thread starts, so that every thread inherits the mask and the signals are
    // only ever taken by WatchSignals.
    const sigset_t signals = StopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    // A reader that went away makes the write fail (EPIPE) instead of ending the program.
    std::signal(SIGPIPE, SIG_IGN);

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

    const bool toStandardOutput = options.outPath.empty() || options.outPath == kStandardOutputPath;
    const int fd = toStandardOutput ? STDOUT_FILENO : OpenOutput(options.outPath);
    if (fd < 0) return sequora::record::kExitBadUsage;
    sequora::record::FdOutput buffer(fd);
    std::ostream out(&buffer);
    const sequora::record::RecordOutput output{out, toStandardOutput ? kStandardOutput : options.outPath,
                                               &buffer};

    sequora::record::StopRequest stop;
    std::atomic<bool> finished{false};
    std::thread watcher(WatchSignals, std::ref(stop), std::cref(finished));
    comlux::ComluxClient client;
    const int status = sequora::record::RecordStreams(options, client, output, std::cerr, stop,
                                                      [&] { WaitForStop(stop, options.seconds); });
    finished = true;
    watcher.join();
    if (!toStandardOutput) ::close(fd);
    return status;
}
