// Section and keys of the settings file.
#pragma once

#include <cstddef>
#include <string_view>

namespace velkor {

inline constexpr std::string_view kUpdateConfigSection = "UpdateConfig";

// Unit model: 1 = R3360, 2 = J5, 0 = left to the model resolution. Read only.
inline constexpr std::string_view kAppTypeKey = "AppType";
// MCU family: 1 = STM8, 2 = NEC, 3 = M3, 0 = ask the technician. Written as "%d".
inline constexpr std::string_view kMcuTypeKey = "McuType";
// Nonzero: the slave MCU is the update target. Written as "%d".
inline constexpr std::string_view kMcuSlaveKey = "McuSlave";
// Firmware file in the program directory, flashed without user action. Read only.
inline constexpr std::string_view kFireFileKey = "FireFile";

// A file in the program directory to which the window appends a record line after each update
// and each APPLY; without it no record is kept. Read only.
inline constexpr std::string_view kRecordFileKey = "RecordFile";

// Characters of "FireFile" and of "RecordFile" that are read.
inline constexpr std::size_t kFireFileCapacity = 100;
inline constexpr std::size_t kRecordFileCapacity = 100;

}  // namespace velkor
