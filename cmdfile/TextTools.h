#pragma once

#include <string>
#include <string_view>
#include <vector>

// The few text rules that command lines, cell texts and numbers share: what counts as blank,
// what a word is, and a letter-case fold that leaves 8-bit characters as they are.
namespace cmdfile::text {

/// Space, tab, line feed, vertical tab, form feed or carriage return (the C locale's blanks).
inline bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

/// Folds only A to Z, so that 8-bit characters compare byte for byte in any locale.
inline char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

/// `text` with A to Z folded to lower case.
inline std::string FoldAscii(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) c = FoldAscii(c);
    return folded;
}

/// The words of `line`, separated by blanks.
inline std::vector<std::string_view> SplitWords(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        const std::size_t start = pos;
        while (pos < line.size() && !IsBlank(line[pos])) ++pos;
        if (pos > start) words.push_back(line.substr(start, pos - start));
    }
    return words;
}

/// The word at `index` (0 is the first), or empty when the line has fewer words.
inline std::string_view WordAt(std::string_view line, int index) {
    std::size_t pos = 0;
    for (int i = 0;; ++i) {
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        if (pos == line.size()) return {};
        const std::size_t start = pos;
        while (pos < line.size() && !IsBlank(line[pos])) ++pos;
        if (i == index) return line.substr(start, pos - start);
    }
}

}  // namespace cmdfile::text
