// Firmware files as the tool reads them: Intel HEX for NEC and M3, Motorola S-records for
// STM8. Lines stay far below the readers' 255 characters.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "settings/unit_types.h"
#include "sim/flash_memory.h"

namespace velkor::sim {

// Bytes [range) of `image` as Intel HEX: 32-byte data records, an extended linear address
// record at the start and at every 64 KiB boundary, the end-of-file record; CR LF line ends.
std::string IntelHexText(std::span<const std::uint8_t> image, FlashRange range);

// Bytes [range) of `image` as S-records: an S0 header, S2 records of 32 bytes with 24-bit
// addresses, and an S8 termination; CR LF line ends.
std::string SRecordText(std::span<const std::uint8_t> image, FlashRange range);

// Writes the firmware file of `family` for bytes [range) of `image`. On failure returns false
// with `error` saying why.
bool WriteFirmwareFile(const std::filesystem::path& file, McuType family,
                       std::span<const std::uint8_t> image, FlashRange range, std::string& error);

}  // namespace velkor::sim
