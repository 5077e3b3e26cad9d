#pragma once

namespace sequora {

/// The keywords of .cfg files as the writer spells them; the reader accepts them in any
/// letter case and abbreviated.
namespace cfg_keywords {
inline constexpr char kCreateTrialItem[] = "-CreateTrialItem";  ///< opens a new item
inline constexpr char kSendEventString[] = "-SendEventString";  ///< the item posts the quoted event
inline constexpr char kSendTtlBit[] = "-SendTTLBit";            ///< the item sets or resets a bit
inline constexpr char kSendCommand[] = "-SendCommand";          ///< the item sends the quoted command
inline constexpr char kSetDelay[] = "-SetDelay";                ///< the item's delay
}  // namespace cfg_keywords

}  // namespace sequora
