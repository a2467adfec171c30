// Whether a unit answers on a port: the version query alone, with nothing logged, for a
// station that waits for a unit to be plugged in and for it to be taken away.
#pragma once

#include <string>

#include "runs/run_stop.h"
#include "settings/unit_types.h"

namespace velkor {

enum class Presence {
    kAnswers,  // the unit answered the version query
    kSilent,   // the port opened, but nothing answered
    kNoPort,   // the port could not be opened: the adapter is gone, or the line hung up
    // The port could not be opened for want of the station's own descriptors or memory: that
    // says nothing of the unit, which is as it was.
    kStationFault,
};

struct ProbeResult {
    Presence presence = Presence::kNoPort;
    std::string version_text;  // the unit's reply, as its bytes
    int error = 0;             // the open's errno, for kNoPort and kStationFault
};

// Opens `device`, sends `model`'s version query and closes it again; `stop` ends the wait.
ProbeResult ProbeUnit(const std::string& device, AppType model, RunStop* stop);

}  // namespace velkor
