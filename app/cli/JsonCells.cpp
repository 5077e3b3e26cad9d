#include "app/cli/JsonCells.h"

#include <nlohmann/json.hpp>

namespace sequora::cli {

namespace {

// The length of the valid UTF-8 sequence starting at `at`, or 0 when the byte there starts none
// (a stray continuation byte, an overlong form, a surrogate, beyond U+10FFFF, or cut short).
std::size_t Utf8SequenceLength(const std::string& text, std::size_t at) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xbf;  // the range of the second byte
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        if (lead == 0xe0) low = 0xa0;
        if (lead == 0xed) high = 0x9f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        if (lead == 0xf0) low = 0x90;
        if (lead == 0xf4) high = 0x8f;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xbf) return 0;
    }
    return length;
}

nlohmann::json::string_t Dump(const nlohmann::json& value) {
    // Every string is valid UTF-8 by now; non-ASCII text is written as text.
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
}

}  // namespace

std::string ValidUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        if (const std::size_t length = Utf8SequenceLength(text, at); length > 0) {
            out.append(text, at, length);
            at += length;
            continue;
        }
        const auto latin1 = static_cast<unsigned char>(text[at++]);
        out += static_cast<char>(0xc0 | (latin1 >> 6));
        out += static_cast<char>(0x80 | (latin1 & 0x3f));
    }
    return out;
}

std::string JsonString(const std::string& text) {
    return Dump(nlohmann::json(ValidUtf8(text)));
}

std::string JsonStringArray(std::span<const std::string> texts) {
    nlohmann::json array = nlohmann::json::array();
    for (const std::string& text : texts) array.push_back(ValidUtf8(text));
    return Dump(array);
}

}  // namespace sequora::cli
