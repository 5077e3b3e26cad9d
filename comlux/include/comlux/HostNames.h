#pragma once

#include <string>

#include "comlux/ComluxExport.h"

namespace comlux {

/// This computer's name; empty when the system cannot give one.
COMLUX_EXPORT std::string ComputerName();

/// Four address bytes in network order as dotted decimal ("%i.%i.%i.%i").
COMLUX_EXPORT std::string DottedAddress(const unsigned char address[4]);

}  // namespace comlux
