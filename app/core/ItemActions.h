#pragma once

#include <optional>
#include <string>
#include <vector>

namespace sequora {

/// Turning an item row's cell texts into command texts and delays.
namespace item_actions {

/// The leading decimal number of a text: leading white space and one sign allowed,
/// reading stops at the first other character, no digits give 0. Values beyond the
/// 32-bit range saturate instead of wrapping.
int DecimalValue(const std::string& text);

/// The post-event command for an event text, e.g. ` -PostEvent "Tone on" 0 0`.
std::string PostEventCommand(const std::string& eventText);

/// The TTL mask of a bit number: 2^b cut to a signed 32-bit value (0 for negative b,
/// -2147483648 for b of 31 and above).
int BitMask(int bitNumber);

/// "-SetDIOPortBits AcqSystem1 0 <mask>" when setting, "-ResetDIOPortBits ..." otherwise.
std::string BitCommand(bool setBit, int mask);

/// The pieces of a command cell cut at every "|", empty pieces kept.
std::vector<std::string> CommandPieces(const std::string& command);

/// The range of a "Random: <min>-<max>" delay cell.
struct DelayRange {
    int minimum = 0;
    int maximum = 0;
};

/// The range when the cell contains "Random:", nullopt for a fixed delay.
std::optional<DelayRange> RandomDelayRange(const std::string& delayCell);

/// The delay drawn from a range with draw r: minimum + (11 r) rem (maximum - minimum),
/// the remainder truncated towards zero; the minimum when the range is empty.
/// Never negative.
long long RandomDelay(const DelayRange& range, int draw);

/// The fixed delay of a cell; a negative value waits 0.
long long FixedDelay(const std::string& delayCell);

}  // namespace item_actions
}  // namespace sequora
