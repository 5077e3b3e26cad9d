#pragma once

#include <string>

namespace comlux {

/// Receives one record: context given at registration, address of the record's first byte,
/// record count (always 1), the server object's name (the callee's own copy).
using RecordCallback = void (*)(void* context, const unsigned char* record, int count,
                                std::string objectName);

}  // namespace comlux
