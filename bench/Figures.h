#pragma once

// The small statistics the benchmarks print their figures from.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

namespace bench {

/// A steady-clock span in milliseconds.
inline double Ms(std::chrono::steady_clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

/// The nearest-rank percentile of `values` (not empty), `fraction` in (0, 1].
inline double Percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const std::size_t index = static_cast<std::size_t>(std::ceil(fraction * values.size())) - 1;
    return values[std::min(index, values.size() - 1)];
}

}  // namespace bench
