#pragma once

#include <string_view>

namespace comlux {

/// The server's data-type words whose objects each stream type indexes. The three spike
/// streams share one table: a spike record's number is a position among all spike objects.
inline constexpr std::string_view kSpikeTypeWords[] = {"SEScAcqEnt", "STScAcqEnt", "TTScAcqEnt"};
/// Continuously sampled channel objects.
inline constexpr std::string_view kCscTypeWords[] = {"CscAcqEnt"};
/// Video tracker objects.
inline constexpr std::string_view kVideoTypeWords[] = {"VTAcqEnt"};
/// Event objects.
inline constexpr std::string_view kEventTypeWords[] = {"EventAcqEnt"};

}  // namespace comlux
