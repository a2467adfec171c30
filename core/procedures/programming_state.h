// The process-wide values of the file check, programming and unit options: created once by
// the front end and handed by reference to every family object, so that each test builds a
// fresh set.
#pragma once

#include <cstdint>

#include "procedures/stream_outcome.h"
#include "procedures/unit_options.h"

namespace velkor {

// What the last file check concluded about the loaded image.
enum class FileVerdict {
    kNotChecked,
    kConfirmed,             // the file names this unit: "Press "Update" to start update."
    kSlaveNotChecked,       // a slave image, taken as it is
    kNotForThisUnit,        // the identity differs: warned about
    kRefusedByVersionRule,  // NEC: the file and the unit lie on two sides of version 4
    kNoDescription,         // no description block: nothing to check against
};

// Only the check's own word that the file fits lets an update start with nobody there to read
// its warnings.
constexpr bool ConfirmedForUnattendedUpdate(FileVerdict verdict) {
    return verdict == FileVerdict::kConfirmed || verdict == FileVerdict::kSlaveNotChecked;
}

struct ProgrammingState {
    // Nonzero when the slave MCU, not the main MCU, is the target. Holds the "McuSlave" value
    // as read, so that a type selection that leaves it alone stores it back unchanged.
    int slave = 0;
    // Byte sum of the family's range of the last checked image; meaningful only while
    // `file_checksum_valid` is set.
    std::uint32_t file_checksum = 0;
    bool file_checksum_valid = false;
    FileVerdict check_verdict = FileVerdict::kNotChecked;
    UnitOptions unit_options{};
    // The last programming run's record stream.
    StreamOutcome stream{};
};

}  // namespace velkor
