// The description block a firmware build puts into its image, for each model and MCU family:
// the texts the file check shows, and the identity it compares with the unit's replies. The
// generator writes it from the texts a unit reports, so that the file fits that unit, or on
// purpose does not.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "settings/unit_types.h"

namespace velkor::sim {

struct FirmwareIdentity {
    AppType model = kAppTypeUndetermined;
    McuType family = kMcuTypeUndetermined;
    // The replies of the unit the file is built for.
    std::string version_text;
    std::string information_text;
    // The version the file states; empty: the unit's own. For NEC units of R3360 its first
    // character decides whether a unit from major version 4 on takes the file.
    std::optional<std::string> file_version;
    // Build the identity of another unit into the file.
    bool mismatch = false;
};

// Writes the description block into `image`, a whole image indexed by MCU address. False,
// with nothing written, when the model or family is undetermined or the image too small.
bool WriteDescription(const FirmwareIdentity& identity, std::span<std::uint8_t> image);

}  // namespace velkor::sim
