// The texts a simulated unit reports by default, one pair for each model and MCU family, so
// that the simulator and the firmware generator agree on a unit without being told twice.
#pragma once

#include <string>

#include "settings/unit_types.h"

namespace velkor::sim {

struct UnitTexts {
    std::string version;      // the version reply, with the unit options at their positions
    std::string information;  // the bytes that follow the information query's acknowledgement
};

// Texts with the version, identity and option codes where the units of `model` and `family`
// keep them; plain texts when the family is undetermined.
UnitTexts DefaultUnitTexts(AppType model, McuType family);

}  // namespace velkor::sim
