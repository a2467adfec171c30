// NEC units from major version 4 on run firmware built for them only, and older units only
// older firmware: a file across that line would leave the unit unable to power on.
#pragma once

#include <cstddef>
#include <cstdint>

#include "report/report.h"

namespace velkor {

// Where an NEC image keeps the first character of its version.
inline constexpr std::size_t kNecFileVersionOffset = 0x2002;

struct NecVersionVerdict {
    bool v4_unit;  // the unit reports major version 4 or later
    int result;    // 0: the file may go on to the check; 1: refused, the warning is logged
};

// `unit_major` is the first character of the MCU's version text, `file_major` the image byte
// at kNecFileVersionOffset.
// The refusal's warning goes to `report`.
NecVersionVerdict ApplyNecVersionRule(std::uint8_t unit_major, std::uint8_t file_major,
                                      Report& report);

}  // namespace velkor
