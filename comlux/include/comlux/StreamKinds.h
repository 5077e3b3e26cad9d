#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace comlux {

/// The six kinds of data stream the server sends, in the order the client walks its listeners.
enum class StreamKind : int { SingleElectrode, Stereotrode, Tetrode, Csc, VideoTracker, Event };

/// How far the data connection of a stream kind has come since the client connected.
enum class StreamState : int {
    NotListening,      ///< no listener: not connected, or the listener could not start
    WaitingForServer,  ///< listening; the server has not connected yet
    Connected,         ///< the server's data connection is up
    Ended,             ///< the server connected, and the connection has ended since
};

/// Number of stream kinds; StreamKind values run from 0 to kStreamKindCount - 1.
inline constexpr std::size_t kStreamKindCount = 6;

/// What is fixed about one stream kind.
struct StreamKindInfo {
    /// The kind this row describes.
    StreamKind kind;
    /// The server's data-type word of the kind's objects ("SEScAcqEnt", ...).
    std::string_view dataType;
    /// The word naming the kind's listener in log lines ("SingleElectrode", ...).
    std::string_view kindWord;
    /// Size in bytes of one record on the kind's data connection.
    int recordSize;
};

/// One row per kind, in StreamKind order.
inline constexpr std::array<StreamKindInfo, kStreamKindCount> kStreamKinds{{
    {StreamKind::SingleElectrode, "SEScAcqEnt", "SingleElectrode", 112},
    {StreamKind::Stereotrode, "STScAcqEnt", "Stereotrode", 176},
    {StreamKind::Tetrode, "TTScAcqEnt", "Tetrode", 304},
    {StreamKind::Csc, "CscAcqEnt", "CSC", 1044},
    {StreamKind::VideoTracker, "VTAcqEnt", "Video", 1828},
    {StreamKind::Event, "EventAcqEnt", "Event", 184},
}};

/// The row of a kind.
constexpr const StreamKindInfo& InfoOf(StreamKind kind) {
    return kStreamKinds[static_cast<std::size_t>(kind)];
}

/// The kind whose data-type word is exactly `dataType` (letter case included); nullopt for a word
/// no stream carries.
constexpr std::optional<StreamKind> StreamKindOfDataType(std::string_view dataType) {
    for (const StreamKindInfo& info : kStreamKinds) {
        if (info.dataType == dataType) return info.kind;
    }
    return std::nullopt;
}

/// True for the three spike kinds, whose records are numbered among all spike objects together.
constexpr bool IsSpikeKind(StreamKind kind) {
    return kind == StreamKind::SingleElectrode || kind == StreamKind::Stereotrode ||
           kind == StreamKind::Tetrode;
}

}  // namespace comlux
