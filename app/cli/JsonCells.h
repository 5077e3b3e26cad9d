#pragma once

#include <span>
#include <string>

namespace sequora::cli {

/// A JSON string literal for 8-bit text: bytes 0x80-0xFF become \u0080-\u00ff, control
/// characters become JSON escapes, so that any cell text gives valid ASCII JSON.
std::string JsonString(const std::string& text);

/// A JSON array of string literals, without blanks: ["a","b"].
std::string JsonStringArray(std::span<const std::string> texts);

}  // namespace sequora::cli
