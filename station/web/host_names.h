// The Host header of a request against the names a station answers to. A page elsewhere that
// made a name of its own point at the station (DNS rebinding) sends that name: answering only
// the station's own names keeps such a page from reading the station's state.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velkor {

// The name in a Host header, without its port, the brackets of an IPv6 address or a trailing
// dot; empty when the header is malformed (a bracket not closed, a character that no host
// name or address has).
std::string_view HostName(std::string_view header);

// Whether `header` names the station: one of `names` (in any case), or `local_address`, the
// numeric address the client reached (which no browser shows for a name it looked up).
bool HostAllowed(std::string_view header, const std::vector<std::string>& names,
                 std::string_view local_address);

}  // namespace velkor
