#include "CmdInterface.h"

#include <string_view>
#include <utility>

namespace sequora {

namespace {

bool IsWhite(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Folds only A to Z, so that 8-bit characters compare byte for byte in any locale.
std::string FoldAscii(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

std::string_view FirstWord(std::string_view line) {
    std::size_t start = 0;
    while (start < line.size() && IsWhite(line[start])) ++start;
    std::size_t end = start;
    while (end < line.size() && !IsWhite(line[end])) ++end;
    return line.substr(start, end - start);
}

}  // namespace

CmdInterface::CmdInterface(std::vector<Entry> table) : mTable(std::move(table)) {
    for (Entry& entry : mTable) entry.keyword = FoldAscii(entry.keyword);
}

int CmdInterface::Dispatch(const std::string& line) const {
    const std::string word = FoldAscii(FirstWord(line));
    const Entry* match = nullptr;
    int matches = 0;
    for (const Entry& entry : mTable) {
        if (entry.keyword.starts_with(word)) {
            match = &entry;
            ++matches;
        }
    }
    if (matches != 1) return -1;
    if (match->handler) match->handler(line);
    return 0;
}

}  // namespace sequora
