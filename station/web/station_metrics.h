// The station's status in Prometheus' text exposition format, version 0.0.4.
#pragma once

#include <string>

#include "station/web/station_status.h"

namespace velkor {

inline constexpr const char* kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

std::string StationMetrics(const StationSnapshot& snapshot);

}  // namespace velkor
