// Loading large .cfg item lists without the window's pause: the time and the peak memory
// of a fresh process that loads the file, against one that reads the same file line by line
// with std::getline. Each load runs in a process of its own (this program started again
// with --child), so that its peak memory is its own.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "app/core/CfgSetup.h"
#include "app/core/ItemList.h"
#include "bench/SampleItems.h"

namespace {

constexpr int kItems = 1000000;
constexpr int kBareRows = 3000000;

// Three million rows in 9 MB: "-c", the shortest line that makes a row.
bool WriteBareRowsFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = true;
    for (int i = 0; i < kBareRows && ok; ++i) ok = std::fputs("-c\n", file) >= 0;
    return std::fclose(file) == 0 && ok;
}

double CpuMs() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Child: loads or reads the file once and prints "<rows> <ms> <cpu ms> <peak kB>".
int Child(const std::string& mode, const std::string& path) {
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = CpuMs();
    long rows = 0;
    if (mode == "load") {
        sequora::ItemList list;
        sequora::CfgSetup(list, std::chrono::milliseconds(0)).Load(path);
        rows = list.RowCount();
    } else {
        std::ifstream in(path, std::ios::binary);
        std::string line;
        while (std::getline(in, line)) ++rows;
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("%ld %.3f %.3f %ld\n", rows, ms, CpuMs() - cpuStart, bench::PeakKb());
    return 0;
}

struct Figures {
    long rows = -1;
    double ms = 0;
    double cpuMs = 0;
    double peakMb = 0;
};

Figures RunChild(const std::string& self, const std::string& mode, const std::string& path) {
    Figures figures;
    const std::string command = "'" + self + "' --child " + mode + " '" + path + "'";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return figures;
    long peakKb = 0;
    if (std::fscanf(pipe, "%ld %lf %lf %ld", &figures.rows, &figures.ms, &figures.cpuMs, &peakKb) != 4) {
        figures.rows = -1;
    }
    if (::pclose(pipe) != 0) figures.rows = -1;
    figures.peakMb = static_cast<double>(peakKb) / 1024.0;
    return figures;
}

double FileMb(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<double>(info.st_size) / (1024.0 * 1024.0) : 0;
}

// Loads the file and reports its figures; false when the load did not give `rows` rows.
bool Measure(const std::string& self, const char* benchmark, const std::string& path, long rows) {
    const Figures load = RunChild(self, "load", path);
    const Figures getline = RunChild(self, "getline", path);
    if (load.rows != rows || getline.rows <= 0) {
        std::fprintf(stderr, "%s: loaded %ld rows, expected %ld\n", benchmark, load.rows, rows);
        return false;
    }
    std::printf("BENCH %s ms %.1f\n", benchmark, load.ms);
    // Processor time as well: on a busy machine the time on the clock says more about the others.
    std::printf("BENCH %s cpu_ms %.1f\n", benchmark, load.cpuMs);
    std::printf("BENCH %s peak_mb %.1f\n", benchmark, load.peakMb);
    std::printf("BENCH %s ratio_to_getline %.2f\n", benchmark, load.ms / std::max(getline.ms, 1e-6));
    std::printf("BENCH %s peak_ratio_to_file_size %.2f\n", benchmark,
                load.peakMb / std::max(FileMb(path), 1e-6));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--child") == 0) return Child(argv[2], argv[3]);

    char dirName[] = "/tmp/bench_cfg_load_XXXXXX";
    if (!::mkdtemp(dirName)) return 1;
    const std::string dir = dirName;
    const std::string items = dir + "/items.cfg";
    const std::string bare = dir + "/bare.cfg";
    const std::string self = "/proc/self/exe";
    char selfPath[4096] = {};
    const ssize_t length = ::readlink(self.c_str(), selfPath, sizeof(selfPath) - 1);

    bool ok = length > 0 && bench::WriteItemsFile(items, kItems) && WriteBareRowsFile(bare);
    if (!ok) std::fprintf(stderr, "cannot write the sample files in %s\n", dir.c_str());
    ok = ok && Measure(selfPath, "cfg_load_1m_items", items, kItems);
    ok = ok && Measure(selfPath, "cfg_load_3m_rows", bare, kBareRows);

    std::remove(items.c_str());
    std::remove(bare.c_str());
    ::rmdir(dir.c_str());
    return ok ? 0 : 1;
}
