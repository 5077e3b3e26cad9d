#pragma once

#include <optional>
#include <string>

namespace sequora {

/// Reads an integer form field the way the window does: a decimal number from at most
/// the first 63 characters, leading white space and one sign allowed, anything after the
/// number ignored. nullopt when the text holds no number at its start (the window then
/// shows "Enter an integer.") or when the number does not fit in 32 signed bits.
std::optional<int> ReadIntegerField(const std::string& text);

/// The message shown for a field that ReadIntegerField rejects.
inline constexpr const char kEnterIntegerMessage[] = "Enter an integer.";

}  // namespace sequora
