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
    AppType model = kAppTypeR3360;          // decides the dialect
    McuType family = kMcuTypeUndetermined;  // decides the boot loader's records
    std::string version_text;
    std::string information_text;  // raw bytes, sent as they are after the acknowledgement
    // Erased (0xFF) unless a firmware is loaded; the checksum covers the whole address space
    // unless told otherwise.
    FlashMemory main_flash;
    FlashRange checksum_range;
    // A real MCU takes a moment before it answers.
    std::uint32_t reply_delay_ms = 2;
    // What the boot loader sends before the '.' that ends each record.
    std::string record_status;
    SimFaults faults;
};

// A unit of `model` and `family` with its default texts (see unit_identity.h), erased flash
// and no faults; its checksum covers the family's firmware range, or the whole address space
// when the family is undetermined.
SimConfig DefaultSimConfig(AppType model, McuType family = kMcuTypeUndetermined);

}  // namespace velkor::sim
