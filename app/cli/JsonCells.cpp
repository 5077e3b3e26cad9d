#include "app/cli/JsonCells.h"

namespace sequora::cli {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

void AppendUnicodeEscape(std::string& out, unsigned char byte) {
    out += "\\u00";
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 0x0f];
}

}  // namespace

std::string JsonString(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            default:
                // Cell texts are 8-bit; each byte above 0x7F stands for the code point of
                // the same number, and DEL is escaped with the other control characters.
                if (byte < 0x20 || byte >= 0x7f) {
                    AppendUnicodeEscape(out, byte);
                } else {
                    out += c;
                }
        }
    }
    out += '"';
    return out;
}

std::string JsonStringArray(std::span<const std::string> texts) {
    std::string out = "[";
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (i > 0) out += ',';
        out += JsonString(texts[i]);
    }
    out += ']';
    return out;
}

}  // namespace sequora::cli
