#include "cmdfile/CmdInterface.h"

#include <string_view>
#include <utility>

namespace cmdfile {

namespace {

bool IsWhite(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Folds only A to Z, so that 8-bit characters compare byte for byte in any locale.
char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether the folded keyword begins with the word, folded.
bool KeywordBeginsWith(std::string_view keyword, std::string_view word) {
    if (word.size() > keyword.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (keyword[i] != FoldAscii(word[i])) return false;
    }
    return true;
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
    for (Entry& entry : mTable) {
        for (char& c : entry.keyword) c = FoldAscii(c);
    }
}

int CmdInterface::Dispatch(const std::string& line) const {
    const std::string_view word = FirstWord(line);
    const Entry* match = nullptr;
    int matches = 0;
    for (const Entry& entry : mTable) {
        if (KeywordBeginsWith(entry.keyword, word)) {
            match = &entry;
            ++matches;
        }
    }
    if (matches != 1) return -1;
    if (match->handler) match->handler(line);
    return 0;
}

}  // namespace cmdfile
