// Whether a unit answers on a port: the version query alone, with nothing logged, for a
// station that waits for a unit to be plugged in and for it to be taken away.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
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
    // Its checksum reply, when asked for and given.
    std::optional<std::uint32_t> checksum;
    int error = 0;  // the open's errno, for kNoPort and kStationFault
};

// Opens `device`, sends `model`'s version query and closes it again; `stop` ends the wait.
ProbeResult ProbeUnit(const std::string& device, AppType model, RunStop* stop);

// A unit watched on its port while it stays: the port is kept open between polls (each close
// would drop the modem lines of a real adapter), and opened again after a poll the unit did
// not answer, so that a line that hung up is found.
class UnitWatch {
  public:
    UnitWatch(std::string device, AppType model, RunStop* stop);
    ~UnitWatch();
    UnitWatch(const UnitWatch&) = delete;
    UnitWatch& operator=(const UnitWatch&) = delete;

    // The version query, and the checksum query after an answer.
    ProbeResult Poll();

  private:
    struct Open;
    std::string device_;
    AppType model_;
    RunStop* stop_;
    std::unique_ptr<Open> open_;
};

}  // namespace velkor
