// Splitting an object-list answer of a million items (a tenth of them quoted names with blanks),
// against a plain loop that cuts the same text at blanks.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "comlux/internal/ParseCommandString.h"

namespace {

constexpr int kItems = 1000000;
constexpr int kRounds = 5;

std::string ObjectItems() {
    std::string text;
    text.reserve(static_cast<std::size_t>(kItems) * 14);
    for (int i = 0; i < kItems; ++i) {
        if (i != 0) text += ' ';
        if (i % 10 == 0) {
            text += "\"Video Tracker " + std::to_string(i) + '"';
        } else {
            text += "SE" + std::to_string(i);
        }
    }
    return text;
}

// The baseline: cut at every blank, nothing else.
std::size_t SplitAtBlanks(const std::string& text, std::vector<std::string>& items) {
    items.clear();
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == ' ') {
            if (i > start) items.emplace_back(text, start, i - start);
            start = i + 1;
        }
    }
    return items.size();
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
    const std::string text = ObjectItems();
    std::vector<std::string> items;
    bool parsed = true;
    const double parseMs =
        MedianMs([&] { parsed = comlux::ParseCommandString(text, items, nullptr) && parsed; });
    if (!parsed || items.size() != static_cast<std::size_t>(kItems)) {
        std::fprintf(stderr, "parse_objects: %zu items instead of %d\n", items.size(), kItems);
        return 1;
    }
    std::vector<std::string> pieces;
    const double splitMs = MedianMs([&] { SplitAtBlanks(text, pieces); });

    std::printf("BENCH parse_objects_1m_items ms %.1f\n", parseMs);
    std::printf("BENCH parse_objects_1m_items ratio_to_split_loop %.3f\n", splitMs / parseMs);
    return 0;
}
