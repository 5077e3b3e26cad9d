#pragma once

#include <array>
#include <string>
#include <string_view>

#include "comlux/StreamKinds.h"

namespace sequora::record {

/// The columns of comlux-record's output, in order. Every line has all of them; a record leaves
/// empty the cells its kind has no field for. Lists (features, samples) are blank-separated.
inline constexpr std::array<std::string_view, 16> kColumns{
    "receive_ms",  // milliseconds since recording began, when the record arrived
    "object",      // the server object the record belongs to
    "kind",        // the stream kind's word: SingleElectrode, Stereotrode, Tetrode, CSC, Video, Event
    "timestamp",   // the record's own time stamp (microseconds, as the server counts them)
    "number",      // channel (spike, CSC), tracker (video) or event source (event) number
    "cell",        // spike: the cell number the spike was sorted into
    "features",    // spike: the eight feature values
    "frequency",   // CSC: sampling frequency in Hz
    "valid",       // CSC: how many of the 512 samples are valid
    "event_id",    // event: the event id
    "ttl",         // event: the TTL value
    "text",        // event: the event string (control bytes, bytes above 126 and \ as \xHH)
    "x",           // video: position x
    "y",           // video: position y
    "angle",       // video: head direction in degrees
    "samples",     // spike: all, in record order (32 per sub-channel); CSC: the valid ones
};

/// The header line: the column names separated by tabs, ending with a line end.
std::string HeaderLine();

/// One record as an output line ending with a line end. `record` points at
/// comlux::InfoOf(kind).recordSize bytes, its numbers little-endian; `receiveMs` is when it
/// arrived, in milliseconds since recording began.
std::string RecordLine(double receiveMs, std::string_view object, comlux::StreamKind kind,
                       const unsigned char* record);

/// The text with tab, line ends and every other byte below 32 or above 126, and the backslash
/// itself, written as \xHH, so that a cell never splits a line.
std::string EscapedCell(std::string_view text);

}  // namespace sequora::record
