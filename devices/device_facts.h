// The device behind a run's port, as its record names it: velkor-flash and the window alike.
#pragma once

#include <string>

#include "record/run_record.h"

namespace velkor {

// Looked up before the run where it can be: an adapter pulled out during the run no longer
// tells its names.
DeviceFacts DeviceFactsOf(const std::string& port);

}  // namespace velkor
