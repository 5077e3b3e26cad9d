#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "comlux/StreamKinds.h"

namespace comlux_python {

/// How a field of a decoded record is filled.
enum class FieldSource {
    ReceiveTime,  // milliseconds since the stream was opened, when the record arrived
    Copy,         // little-endian numbers copied from the record as they are
    Text          // a NUL-terminated string, zero-padded after its end
};

/// One field of a kind's decoded record: where it lies in the record on the wire and in the
/// decoded item, and the NumPy type that describes it ("<i4": little-endian 32-bit integers).
struct Field {
    std::string_view name;
    std::string_view numpyType;
    FieldSource source;
    std::size_t count;  // elements (1 for a scalar; the text's bytes for Text)
    std::size_t elementSize;
    std::size_t wireOffset;  // unused for ReceiveTime
    std::size_t itemOffset;
};

/// The decoded record of one kind: its fields in order and the size of one item.
struct RecordLayout {
    std::vector<Field> fields;
    std::size_t itemSize = 0;
};

/// The layout of a kind's decoded records; the fields carry comlux-record's column names.
const RecordLayout& LayoutOf(comlux::StreamKind kind);

/// Decodes one record as it came from the wire (InfoOf(kind).recordSize bytes) into `item`
/// (LayoutOf(kind).itemSize bytes).
void DecodeRecord(const RecordLayout& layout, const unsigned char* record, double receiveMs,
                  unsigned char* item);

}  // namespace comlux_python
