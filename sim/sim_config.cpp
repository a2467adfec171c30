#include "sim/sim_config.h"

namespace velkor::sim {

SimConfig DefaultSimConfig(AppType model) {
    SimConfig config;
    config.model = model;
    if (model == kAppTypeJ5) {
        config.version_text = "J5_MCU_V3.10";
        config.information_text = "J5 simulated MCU\r\n";
    } else {
        config.version_text = "R3360_MCU_V3.10";
        config.information_text = "R3360 simulated MCU\r\n";
    }
    return config;
}

}  // namespace velkor::sim
