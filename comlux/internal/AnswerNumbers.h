#pragma once

#include <span>
#include <string_view>

namespace comlux {

/// Reads blank-separated decimal integers from the start of a status answer into `values`, in
/// order. Reading stops at the first one that is not a number: it and the rest keep their values.
/// Out-of-range numbers saturate, so an absurd status can never read as 0.
void ReadAnswerIntegers(std::string_view answer, std::span<int* const> values);

/// The decimal integer at the start of `text` (leading blanks and a sign allowed), 0 when none.
int LeadingInteger(std::string_view text);

}  // namespace comlux
