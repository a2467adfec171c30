// The process-wide values of the file check, programming and unit options: created once by
// the front end and handed by reference to every family object, so that each test builds a
// fresh set.
#pragma once

#include <cstdint>

#include "procedures/unit_options.h"

namespace velkor {

struct ProgrammingState {
    // Nonzero when the slave MCU, not the main MCU, is the target. Holds the "McuSlave" value
    // as read, so that a type selection that leaves it alone stores it back unchanged.
    int slave = 0;
    // Byte sum of the family's range of the last checked image; meaningful only while
    // `file_checksum_valid` is set.
    std::uint32_t file_checksum = 0;
    bool file_checksum_valid = false;
    UnitOptions unit_options{};
};

}  // namespace velkor
