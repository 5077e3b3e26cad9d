#include "app/core/IntegerField.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "cmdfile/TextTools.h"

namespace sequora {

namespace {

// The window only ever looks at this many characters of a field.
constexpr std::size_t kMaxFieldCharacters = 63;

using cmdfile::text::IsBlank;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::optional<int> ReadIntegerField(const std::string& text) {
    const std::size_t end = std::min(text.size(), kMaxFieldCharacters);
    std::size_t pos = 0;
    while (pos < end && IsBlank(text[pos])) ++pos;
    bool negative = false;
    if (pos < end && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    if (pos >= end || !IsDigit(text[pos])) return std::nullopt;

    // The magnitude of the smallest int does not fit in an int; 64 bits with an early
    // stop hold every magnitude that still can.
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<int>::max()} + 1;
    std::int64_t magnitude = 0;
    for (; pos < end && IsDigit(text[pos]); ++pos) {
        magnitude = magnitude * 10 + (text[pos] - '0');
        if (magnitude > kLimit) return std::nullopt;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int>::max()) return std::nullopt;
    return static_cast<int>(value);
}

}  // namespace sequora
