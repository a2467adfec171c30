// Everything that makes one simulated head unit: its model, its MCU's replies and flash, and
// the faults it shows.
#pragma once

#include <cstdint>
#include <string>

#include "settings/unit_types.h"
#include "sim/flash_memory.h"
#include "sim/sim_faults.h"

namespace velkor::sim {

struct SimConfig {
    AppType model = kAppTypeR3360;  // decides the dialect
    McuType family = kMcuTypeUndetermined;
    std::string version_text;
    std::string information_text;  // raw bytes, sent as they are after the acknowledgement
    // Erased (0xFF) unless a firmware is loaded; the checksum covers the whole address space
    // unless told otherwise.
    FlashMemory main_flash;
    FlashRange checksum_range;
    // A real MCU takes a moment before it answers.
    std::uint32_t reply_delay_ms = 2;
    SimFaults faults;
};

// A unit of `model` with plausible texts, erased flash and no faults.
SimConfig DefaultSimConfig(AppType model);

}  // namespace velkor::sim
