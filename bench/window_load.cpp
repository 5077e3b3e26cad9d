// Opening a 1 M-item .cfg file in the window (offscreen, without the pause per line): the
// time until the last row is shown, against the core's bare load of the same file; the
// longest the event loop went without a turn meanwhile (how long the window could not
// repaint or answer a key); and the peak memory of the process. Each load runs in a
// process of its own (this program started again with --child) so its peak is its own.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "app/core/CfgSetup.h"
#include "app/core/ItemList.h"
#include "app/gui/SequoraDlg.h"
#include "app/gui/WindowCommandLine.h"
#include "bench/SampleItems.h"

namespace {

constexpr int kItems = 1000000;
// The event loop's turns are watched on a timer this often.
constexpr int kWatchIntervalMs = 2;

struct Figures {
    long rows = -1;
    double ms = 0;
    double longestGapMs = 0;
    long peakKb = 0;
};

Figures LoadInCore(const std::string& path) {
    Figures figures;
    const auto start = std::chrono::steady_clock::now();
    sequora::ItemList list;
    sequora::CfgSetup(list, std::chrono::milliseconds(0)).Load(path);
    figures.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    figures.rows = list.RowCount();
    return figures;
}

Figures LoadInWindow(const std::string& path, const std::string& dir) {
    Figures figures;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "bench_window_load";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    sequora::gui::SequoraDlgOptions options;
    options.logFilePath = dir + "/client.log";
    options.settingsPath = QString::fromStdString(dir + "/settings.ini");
    options.loadPausePerLine = std::chrono::milliseconds(0);
    sequora::gui::SequoraDlg window(std::move(options));
    window.show();

    QElapsedTimer sinceTurn;
    QTimer watch;
    watch.setTimerType(Qt::PreciseTimer);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        figures.longestGapMs = std::max(figures.longestGapMs, sinceTurn.nsecsElapsed() / 1e6);
        sinceTurn.restart();
        if (!window.Loading()) application.quit();
    });
    // Shown and painted before the clock starts, as a user would open the file.
    QApplication::processEvents();

    const auto start = std::chrono::steady_clock::now();
    sequora::gui::WindowOptions open;
    open.file = path;
    window.ApplyStartOptions(open);
    // The first slice ran inside the call, before the loop could turn.
    figures.longestGapMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    sinceTurn.start();
    watch.start(kWatchIntervalMs);
    if (window.Loading()) application.exec();
    QApplication::processEvents();
    figures.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    figures.rows = window.Items().RowCount();
    return figures;
}

int Child(const std::string& mode, const std::string& path, const std::string& dir) {
    const Figures figures = mode == "window" ? LoadInWindow(path, dir) : LoadInCore(path);
    std::printf("%ld %.3f %.3f %ld\n", figures.rows, figures.ms, figures.longestGapMs, bench::PeakKb());
    return 0;
}

Figures RunChild(const std::string& self, const std::string& mode, const std::string& path,
                 const std::string& dir) {
    Figures figures;
    const std::string command = "'" + self + "' --child " + mode + " '" + path + "' '" + dir + "'";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return figures;
    if (std::fscanf(pipe, "%ld %lf %lf %ld", &figures.rows, &figures.ms, &figures.longestGapMs,
                    &figures.peakKb) != 4) {
        figures.rows = -1;
    }
    if (::pclose(pipe) != 0) figures.rows = -1;
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--child") == 0) return Child(argv[2], argv[3], argv[4]);

    char dirName[] = "/tmp/bench_window_load_XXXXXX";
    if (!::mkdtemp(dirName)) return 1;
    const std::string dir = dirName;
    const std::string items = dir + "/items.cfg";
    char self[4096] = {};
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof(self) - 1);

    bool ok = length > 0 && bench::WriteItemsFile(items, kItems);
    if (!ok) std::fprintf(stderr, "cannot write the sample file in %s\n", dir.c_str());
    if (ok) {
        const Figures core = RunChild(self, "core", items, dir);
        const Figures window = RunChild(self, "window", items, dir);
        ok = core.rows == kItems && window.rows == kItems;
        if (!ok)
            std::fprintf(stderr, "loaded %ld rows in the core, %ld in the window, expected %d\n", core.rows,
                         window.rows, kItems);
        if (ok) {
            std::printf("BENCH window_load_1m_items ms %.1f\n", window.ms);
            std::printf("BENCH window_load_1m_items ratio_to_core_load %.2f\n",
                        window.ms / std::max(core.ms, 1e-6));
            std::printf("BENCH window_load_1m_items longest_gap_ms %.1f\n", window.longestGapMs);
            std::printf("BENCH window_load_1m_items peak_mb %.1f\n",
                        static_cast<double>(window.peakKb) / 1024.0);
        }
    }
    for (const char* file : {"/items.cfg", "/client.log", "/settings.ini"}) std::remove((dir + file).c_str());
    ::rmdir(dir.c_str());
    return ok ? 0 : 1;
}
