#include "comlux/internal/ParseCommandString.h"

#include <algorithm>
#include <array>

#include "comlux/ClientLogFile.h"

namespace comlux {

namespace {

enum CharClass : unsigned char { kOther, kSeparator, kTrimmedOnly };

// Tab, carriage return and line feed separate items as a blank does; vertical tab and form feed
// are only trimmed from the ends of what is left.
constexpr std::array<CharClass, 256> kClasses = [] {
    std::array<CharClass, 256> classes{};
    for (const unsigned char c : {' ', '\t', '\r', '\n'}) classes[c] = kSeparator;
    for (const unsigned char c : {'\v', '\f'}) classes[c] = kTrimmedOnly;
    return classes;
}();

CharClass ClassOf(char c) {
    return kClasses[static_cast<unsigned char>(c)];
}

bool IsWhiteSpace(char c) {
    return ClassOf(c) != kOther;
}

}  // namespace

// One pass over the text. Items are cut from the front and the end is trimmed once: it never
// changes, because the text only ever loses characters at its front.
bool ParseCommandString(std::string_view text, std::vector<std::string>& tokens, ClientLogFile* log) {
    tokens.clear();
    if (text.empty()) return true;
    std::size_t size = text.size();
    while (size > 0 && IsWhiteSpace(text[size - 1])) --size;
    if (size == 0) {
        // White space alone trims to nothing, which is still one (empty) item.
        tokens.emplace_back();
        return true;
    }
    // Everything from here on ends with a character that is not white space.
    const std::string_view rest = text.substr(0, size);
    std::size_t at = 0;
    while (at < rest.size()) {
        while (IsWhiteSpace(rest[at])) ++at;
        if (rest[at] == '"') {
            ++at;
            const std::size_t close = rest.find('"', at);
            if (close == std::string_view::npos) {
                if (log != nullptr) {
                    std::string unmatched(rest.substr(at));
                    std::replace_if(
                        unmatched.begin(), unmatched.end(), [](char c) { return ClassOf(c) == kSeparator; },
                        ' ');
                    log->WriteEntry(
                        Error,
                        "CommandProcessor::ParseCommandString() - Error Processing command string, "
                        "unable to find matching double quotes. command string: " +
                            unmatched);
                }
                return false;
            }
            tokens.emplace_back(rest.substr(at, close - at));
            // A quoted item keeps its tabs and line breaks as blanks.
            std::replace_if(
                tokens.back().begin(), tokens.back().end(), [](char c) { return ClassOf(c) == kSeparator; },
                ' ');
            at = close + 1;
            continue;
        }
        std::size_t end = at;
        while (end < rest.size() && ClassOf(rest[end]) != kSeparator) ++end;
        tokens.emplace_back(rest.substr(at, end - at));
        at = end;
    }
    return true;
}

}  // namespace comlux
