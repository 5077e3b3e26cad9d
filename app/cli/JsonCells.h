#pragma once

#include <span>
#include <string>

namespace sequora::cli {

/// The text as valid UTF-8: every valid UTF-8 sequence is kept as it is, and every other byte
/// is taken as the Latin-1 character of the same number (0xB5 becomes "µ"), which is what
/// such a byte means in a list saved by an 8-bit editor; no byte is dropped.
std::string ValidUtf8(const std::string& text);

/// A JSON string literal of the text made ValidUtf8: UTF-8 written as text, control
/// characters, quotes and backslashes as JSON escapes.
std::string JsonString(const std::string& text);

/// A JSON array of such string literals, without blanks: ["a","b"].
std::string JsonStringArray(std::span<const std::string> texts);

}  // namespace sequora::cli
