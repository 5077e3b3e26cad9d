#include "comlux/internal/AnswerNumbers.h"

#include <climits>
#include <cstdint>
#include <optional>

namespace comlux {

namespace {

bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Parses one integer at `pos` (after blanks), advancing `pos` past it.
std::optional<int> ReadInteger(std::string_view text, std::size_t& pos) {
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    std::size_t at = pos;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    if (at >= text.size() || !IsDigit(text[at])) return std::nullopt;
    std::int64_t magnitude = 0;
    for (; at < text.size() && IsDigit(text[at]); ++at) {
        if (magnitude <= INT_MAX) magnitude = magnitude * 10 + (text[at] - '0');
    }
    pos = at;
    if (negative)
        return magnitude > -static_cast<std::int64_t>(INT_MIN) ? INT_MIN : static_cast<int>(-magnitude);
    return magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
}

}  // namespace

void ReadAnswerIntegers(std::string_view answer, std::span<int* const> values) {
    std::size_t pos = 0;
    for (int* value : values) {
        const auto number = ReadInteger(answer, pos);
        if (!number) return;
        *value = *number;
    }
}

int LeadingInteger(std::string_view text) {
    std::size_t pos = 0;
    return ReadInteger(text, pos).value_or(0);
}

}  // namespace comlux
