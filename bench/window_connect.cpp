// Connecting the window (offscreen) to a server that never accepts (a loopback listener whose
// accept queue is full): the longest the event loop went without a turn while the attempt
// was under way, until Cancel ended it. The baseline, in the same process and the same loop,
// is the connection procedure run synchronously on the window thread, as the window used
// to: its gap is the whole attempt.
#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "app/core/ServerSession.h"
#include "app/gui/DialogTemplate.h"
#include "app/gui/SequoraDlg.h"
#include "bench/Figures.h"
#include "comlux/ComluxClient.h"
#include "tests/support/FullAcceptQueue.h"

namespace {

using Clock = std::chrono::steady_clock;

// Each connection attempt waits this long for the accept; the procedure makes two (the
// hand-out port, then the command port).
constexpr std::chrono::milliseconds kConnectTimeout{500};
// How long the window's attempt is left running before Cancel: as long as the synchronous
// procedure takes. Its own accept waits are longer, so that only Cancel ends it.
constexpr std::chrono::milliseconds kAttemptSpan = 2 * kConnectTimeout;
constexpr std::chrono::hours kWindowConnectTimeout{1};
// The event loop's turns are stamped on a timer this often.
constexpr int kWatchIntervalMs = 1;

// Stamps every turn of the event loop and keeps the longest gap between two.
class TurnWatch {
public:
    TurnWatch() {
        mTimer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&mTimer, &QTimer::timeout, [this] { Stamp(); });
    }
    void Start() {
        mLast = Clock::now();
        mLongestMs = 0;
        mTimer.start(kWatchIntervalMs);
    }
    double Stop() {
        Stamp();
        mTimer.stop();
        return mLongestMs;
    }

private:
    void Stamp() {
        const auto now = Clock::now();
        mLongestMs = std::max(mLongestMs, bench::Ms(now - mLast));
        mLast = now;
    }

    QTimer mTimer;
    Clock::time_point mLast;
    double mLongestMs = 0;
};

// Runs the event loop until `done()` holds, looking every millisecond.
template <typename Condition>
void RunUntil(QApplication& application, Condition done) {
    while (!done()) {
        QApplication::processEvents(QEventLoop::AllEvents, kWatchIntervalMs);
        application.sendPostedEvents();
    }
}

// The window connects through its button; Cancel is clicked after kAttemptSpan.
double AsynchronousGapMs(QApplication& application, sequora::gui::SequoraDlg& window, int port) {
    window.Client().SetPorts(port, port);
    window.Client().SetConnectTimeout(kWindowConnectTimeout);
    auto* button = window.ControlAs<QPushButton>(sequora::gui::kIdConnect);
    TurnWatch watch;
    watch.Start();
    QTimer::singleShot(0, button, &QPushButton::click);
    const auto cancelAt = Clock::now() + kAttemptSpan;
    RunUntil(application, [&] { return Clock::now() >= cancelAt; });
    if (window.Connecting()) button->click();
    RunUntil(application, [&] { return !window.ConnectionBusy(); });
    return watch.Stop();
}

// The same procedure, run synchronously on the window thread from the event loop.
double SynchronousGapMs(QApplication& application, int port) {
    comlux::ComluxClient client;
    client.SetPorts(port, port);
    client.SetConnectTimeout(kConnectTimeout);
    sequora::ServerSession session(client);
    bool over = false;
    TurnWatch watch;
    watch.Start();
    QTimer::singleShot(0, [&] {
        session.Connect("127.0.0.1", [](const std::string&) {});
        over = true;
    });
    RunUntil(application, [&] { return over; });
    return watch.Stop();
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    char dirName[] = "/tmp/bench_window_connect_XXXXXX";
    if (!::mkdtemp(dirName)) return 1;
    const std::string dir = dirName;
    const testsupport::FullAcceptQueue blackHole;
    if (!blackHole.Ready()) {
        std::fprintf(stderr, "cannot set up a loopback listener with a full accept queue\n");
        return 1;
    }

    QApplication application(argc, argv);
    double asynchronous = 0;
    double synchronous = 0;
    {
        sequora::gui::SequoraDlgOptions options;
        options.logFilePath = dir + "/client.log";
        options.settingsPath = QString::fromStdString(dir + "/settings.ini");
        sequora::gui::SequoraDlg window(std::move(options));
        window.show();
        QApplication::processEvents();
        asynchronous = AsynchronousGapMs(application, window, blackHole.Port());
        synchronous = SynchronousGapMs(application, blackHole.Port());
    }
    std::printf("BENCH window_connect longest_gap_ms %.1f\n", asynchronous);
    std::printf("BENCH window_connect synchronous_longest_gap_ms %.1f\n", synchronous);
    std::printf("BENCH window_connect ratio_to_synchronous %.3f\n",
                asynchronous / std::max(synchronous, 1e-6));

    for (const char* file : {"/client.log", "/settings.ini"}) std::remove((dir + file).c_str());
    ::rmdir(dir.c_str());
    return 0;
}
