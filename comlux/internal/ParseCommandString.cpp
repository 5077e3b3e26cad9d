#include "comlux/internal/ParseCommandString.h"

#include <algorithm>

#include "comlux/ClientLogFile.h"

namespace comlux {

namespace {

constexpr const char* kWhiteSpace = " \t\n\v\f\r";

void Trim(std::string& text) {
    const auto last = text.find_last_not_of(kWhiteSpace);
    if (last == std::string::npos) {
        text.clear();
        return;
    }
    text.erase(last + 1);
    text.erase(0, text.find_first_not_of(kWhiteSpace));
}

}  // namespace

bool ParseCommandString(std::string text, std::vector<std::string>& tokens, ClientLogFile* log) {
    tokens.clear();
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\t' || c == '\r' || c == '\n'; }, ' ');
    while (!text.empty()) {
        Trim(text);
        if (!text.empty() && text.front() == '"') {
            text.erase(0, 1);
            const auto close = text.find('"');
            if (close == std::string::npos) {
                if (log != nullptr) {
                    log->WriteEntry(
                        Error,
                        "CommandProcessor::ParseCommandString() - Error Processing command string, "
                        "unable to find matching double quotes. command string: " +
                            text);
                }
                return false;
            }
            tokens.push_back(text.substr(0, close));
            text.erase(0, close + 1);
            continue;
        }
        const auto space = text.find(' ');
        if (space == std::string::npos) {
            tokens.push_back(std::move(text));
            text.clear();
        } else {
            tokens.push_back(text.substr(0, space));
            text.erase(0, space);
        }
    }
    return true;
}

}  // namespace comlux
