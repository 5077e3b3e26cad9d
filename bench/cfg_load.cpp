// Loading a large .cfg item list without the window's pause, against reading the same file
// line by line with std::getline.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/core/CfgSetup.h"
#include "app/core/CfgWriter.h"
#include "app/core/ItemList.h"
#include "cmdfile/FormatCmdLine.h"

namespace {

constexpr int kItems = 10000;
constexpr int kRounds = 7;

std::vector<sequora::ItemRow> SampleRows() {
    std::vector<sequora::ItemRow> rows;
    rows.reserve(kItems);
    for (int i = 0; i < kItems; ++i) {
        const std::string n = std::to_string(i + 1);
        const bool random = i % 3 == 0;
        rows.push_back({n, i % 2 ? "Yes" : "No", i % 2 ? "Stimulus " + n : "NA", "Yes",
                        std::to_string(i % 16), i % 4 ? "On" : "Off", i % 5 ? "No" : "Yes",
                        i % 5 ? "NA" : "-StartRecording",
                        random ? "Random: 100-" + std::to_string(200 + i % 300) : std::to_string(i % 1000)});
    }
    return rows;
}

template <typename Work>
double MedianMs(Work work) {
    std::vector<double> times;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main() {
    char name[] = "/tmp/bench_cfg_load_XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0) return 1;
    ::close(fd);
    const std::string path = name;

    sequora::CfgWriter writer;
    if (!writer.Write(path, SampleRows())) {
        std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), writer.ErrorReason().c_str());
        return 1;
    }

    int loadedRows = 0;
    const double loadMs = MedianMs([&] {
        sequora::ItemList list;
        sequora::CfgSetup(list, std::chrono::milliseconds(0)).Load(path);
        loadedRows = list.RowCount();
    });
    int commandLines = 0;
    const double readerMs = MedianMs([&] {
        cmdfile::FormatCmdLine reader;
        reader.SetDelivery(cmdfile::FormatCmdLine::LineKind::Command, true);
        reader.OpenFile(path);
        std::string line;
        commandLines = 0;
        while (reader.GetNextLine(line) == 0) ++commandLines;
    });
    std::size_t lines = 0;
    const double getlineMs = MedianMs([&] {
        std::ifstream in(path, std::ios::binary);
        std::string line;
        lines = 0;
        while (std::getline(in, line)) ++lines;
    });
    std::remove(path.c_str());

    if (loadedRows != kItems || commandLines == 0 || lines == 0) {
        std::fprintf(stderr, "loaded %d rows, expected %d\n", loadedRows, kItems);
        return 1;
    }
    std::printf("BENCH cfg_load_10k_items ms %.3f\n", loadMs);
    std::printf("BENCH cfg_load_10k_items ratio_to_getline %.2f\n", loadMs / std::max(getlineMs, 1e-6));
    // The reader alone (line kinds, comments, variables) without building the list.
    std::printf("BENCH cfg_read_10k_items ratio_to_getline %.2f\n", readerMs / std::max(getlineMs, 1e-6));
    return 0;
}
