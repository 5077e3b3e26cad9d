#include "cmdfile/CmdInterface.h"

#include <string_view>
#include <utility>

#include "cmdfile/TextTools.h"

namespace cmdfile {

namespace {

using text::FoldAscii;

// Whether the folded keyword begins with the word, folded.
bool KeywordBeginsWith(std::string_view keyword, std::string_view word) {
    if (word.size() > keyword.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (keyword[i] != FoldAscii(word[i])) return false;
    }
    return true;
}

}  // namespace

CmdInterface::CmdInterface(std::vector<Entry> table) : mTable(std::move(table)) {
    for (Entry& entry : mTable) {
        for (char& c : entry.keyword) c = FoldAscii(c);
    }
}

int CmdInterface::Dispatch(const std::string& line) const {
    const std::string_view word = text::WordAt(line, 0);
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
