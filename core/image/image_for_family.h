// Which reader handles the firmware of an MCU family.
#pragma once

#include <memory>

#include "image/firmware_image.h"
#include "settings/unit_types.h"

namespace velkor {

// S-records for STM8, Intel HEX for NEC and M3; null for any other McuType value.
// Its log and progress go to `report`.
std::unique_ptr<CFirmwareImage> MakeImageReader(int mcu, Report& report);

}  // namespace velkor
