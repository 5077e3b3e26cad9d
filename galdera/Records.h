#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "galdera/GalderaServer.h"

namespace galdera {

/// The six kinds of data stream, one per data-type word.
enum class StreamKind { SingleElectrode, Stereotrode, Tetrode, Csc, Event, Video };

/// The stream kind of a data-type word ("SEScAcqEnt" ...); nullopt for words no stream carries.
std::optional<StreamKind> StreamKindOf(const std::string& typeWord);
/// Size in bytes of one record of the kind.
std::size_t RecordSize(StreamKind kind);
/// The number a record of objects[index] carries: its position among all spike objects (for the
/// three spike types), among CscAcqEnt, VTAcqEnt or EventAcqEnt objects (for the others).
/// -1 when the object's type has no stream.
int RecordNumber(const std::vector<ServerObject>& objects, std::size_t index);
/// Writes one plausible record of the kind into `out` (RecordSize(kind) bytes).
/// `number` goes where a client looks for it; `timestampMicros` and `sequence` vary the rest.
void FillRecord(StreamKind kind, int number, std::uint64_t timestampMicros, std::uint32_t sequence,
                unsigned char* out);

}  // namespace galdera
