#pragma once

#include <string>
#include <string_view>

namespace comlux {

/// True for a dotted IPv4 address in 127.0.0.0/8.
bool IsLoopbackAddress(std::string_view dotted);

/// The address the server is asked to connect the data streams back to, from the local end of
/// the command connection and this computer's host-name address (either may be empty when
/// unknown). A server on this machine is given the command connection's own loopback address.
/// Otherwise the host-name address is used, unless it is a loopback address or unknown (host
/// names commonly map to 127.0.1.1): a remote server could never reach that, so it is given the
/// address by which it already reaches this computer.
std::string ChooseStreamAddress(std::string_view commandLocalAddress, std::string_view hostNameAddress);

}  // namespace comlux
