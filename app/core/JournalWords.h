#pragma once

// The words of the run journal that its writer puts down and its reader looks for: one spelling
// of each, so that a saved journal always reads back.
namespace sequora::journal_words {

/// The fixed lines, without their line ends.
inline constexpr char kTitleLine[] = "# sequora run journal";
inline constexpr char kColumnsLine[] = "trial\trow\taction\ttext\tdue_ms\tsent_ms\tanswered_ms\tstatus";
/// The beginnings of the run's first and last comment lines.
inline constexpr char kStartedPrefix[] = "# started ";
inline constexpr char kEndedPrefix[] = "# ended ";
/// The status of an action that went as meant.
inline constexpr char kStatusOk[] = "ok";
/// The status of a delay that a Stop cut short.
inline constexpr char kStatusStopped[] = "stopped";
/// The action column.
inline constexpr char kEvent[] = "event";
inline constexpr char kBit[] = "bit";
inline constexpr char kCommand[] = "command";
inline constexpr char kDelay[] = "delay";

}  // namespace sequora::journal_words
