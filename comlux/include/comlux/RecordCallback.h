#pragma once

#include <string>

namespace comlux {

/// Receives one record: context given at registration, address of the record's first byte,
/// record count (always 1), the server object's name (the callee's own copy).
///
/// The record's first byte lies at an address that is a multiple of 16, for every stream kind, so
/// the record may be read through a struct whose fields need up to 16-byte alignment (64-bit
/// numbers included). The record stays valid until the callback returns.
using RecordCallback = void (*)(void* context, const unsigned char* record, int count,
                                std::string objectName);

}  // namespace comlux
