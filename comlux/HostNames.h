#pragma once

#include <string>

namespace comlux {

/// This computer's name; empty when the system cannot give one.
std::string ComputerName();

/// Four address bytes in network order as dotted decimal ("%i.%i.%i.%i").
std::string DottedAddress(const unsigned char address[4]);

}  // namespace comlux
