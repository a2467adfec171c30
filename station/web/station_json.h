// The station's status as JSON for its web page and /api/state: one line of UTF-8 with every
// control character escaped, whatever bytes a unit or a file put into it.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "station/web/station_status.h"

namespace velkor {

// Everything: the station, its slots, the totals and the last records, oldest first, each as
// its record line holds it.
std::string StationStateJson(const StationSnapshot& snapshot);
// The station, its slots and the totals, without the records.
std::string StationSlotsJson(const StationSnapshot& snapshot);
// One JSON value on one line, escaped as above.
std::string JsonText(const nlohmann::ordered_json& value);

}  // namespace velkor
