// Splits arbitrary answers into items and checks what every caller relies on.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "comlux/internal/ParseCommandString.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> tokens = {"stale"};
    const bool matched = comlux::ParseCommandString(text, tokens, nullptr);
    const bool hasQuote = text.find('"') != std::string::npos;
    if (!matched && !hasQuote) std::abort();
    std::size_t itemBytes = 0;
    for (const std::string& item : tokens) {
        // Line breaks and tabs become separators, so no item may carry one.
        if (item.find_first_of("\t\r\n") != std::string::npos) std::abort();
        if (!hasQuote && item.find(' ') != std::string::npos) std::abort();
        itemBytes += item.size();
    }
    if (itemBytes > size) std::abort();
    if (text.empty() && !tokens.empty()) std::abort();
    return 0;
}
