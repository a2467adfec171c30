// The check of a loaded firmware image against the connected unit: its description, the file
// checksum, and a warning when the file is not for this unit. It advises only; the
// technician decides whether to update.
#pragma once

#include <functional>

#include <cstdint>

#include "link/mcu_replies.h"
#include "procedures/family_descriptor.h"
#include "procedures/programming_state.h"
#include "report/report.h"

namespace velkor {

// Runs after the description is shown and before the checksum, for main MCU targets only:
// 0 lets the check go on, anything else ends it with that result.
using FileScreen = std::function<int()>;

// Checks the kImageSize bytes of `image` (null: none loaded) against the unit's `replies`.
// Always 0 unless `screen` refuses the file. Sets the file checksum and its valid flag only
// when it computed the checksum, and clears the flag otherwise; records its conclusion in the
// state's check verdict.
int CheckFirmwareFile(const FileCheckLayout& layout, const std::uint8_t* image,
                      const McuReplies& replies, ProgrammingState& state, Report& report,
                      const FileScreen& screen = {});

}  // namespace velkor
