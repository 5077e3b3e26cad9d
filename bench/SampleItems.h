#pragma once

// Large .cfg item lists for the load benchmarks, laid out as the writer lays them out, and
// the process figures the benchmarks report.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "app/core/CfgWriter.h"
#include "app/core/ItemCells.h"

namespace bench {

/// One row of a sample list; every few rows use each kind of cell.
inline sequora::ItemRow SampleRow(int i) {
    const std::string n = std::to_string(i + 1);
    const bool random = i % 3 == 0;
    return {n,
            i % 2 ? "Yes" : "No",
            i % 2 ? "Stimulus " + n : "NA",
            "Yes",
            std::to_string(i % 16),
            i % 4 ? "On" : "Off",
            i % 5 ? "No" : "Yes",
            i % 5 ? "NA" : "-StartRecording",
            random ? "Random: 100-" + std::to_string(200 + i % 300) : std::to_string(i % 1000)};
}

/// Writes `items` sample rows to `path` a chunk of rows at a time; false on failure.
inline bool WriteItemsFile(const std::string& path, int items) {
    constexpr int kChunk = 10000;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = true;
    for (int first = 0; first < items && ok; first += kChunk) {
        std::vector<sequora::ItemRow> rows;
        for (int i = first; i < std::min(first + kChunk, items); ++i) rows.push_back(SampleRow(i));
        std::string text = sequora::CfgWriter::FormatText(rows);
        // The two empty lines that open a file are written once.
        if (first > 0) text.erase(0, 4);
        ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    }
    return std::fclose(file) == 0 && ok;
}

/// The peak resident memory of this process in kB, -1 when unknown.
inline long PeakKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

}  // namespace bench
