// Log lines of the file check, programming and configuration write.
#pragma once

#include <string_view>

namespace velkor {

inline constexpr std::string_view kLogNoDescription =
    "The file have no description, maybe is incorrect.\r\n";
inline constexpr std::string_view kLogReadyForSlave =
    "Press \"Update\" to start update SLAVE MCU.\r\n";
inline constexpr std::string_view kLogReady = "Press \"Update\" to start update.\r\n";

inline constexpr std::string_view kLogNotForThisUnit =
    "======== WARNING ========\r\nThe file is not for this UNIT:\r\n";
inline constexpr std::string_view kLogUnitVersionLabel = "UNIT Ver: ";
inline constexpr std::string_view kLogFileVersionLabel = "FILE Ver: ";
inline constexpr std::string_view kLogHintStart = "Please select the file which include \"";
inline constexpr std::string_view kLogHintEnd = "\" words\r\n";

// The NEC version rule's refusals.
inline constexpr std::string_view kLogFileUnderV4 =
    "======== WARNING ========\r\nThe file version under V4, it will can't power on if "
    "update.\r\n";
inline constexpr std::string_view kLogFileNotForUnitVersion =
    "======== WARNING ========\r\nThe file version is not for this UINT, it will can't power "
    "on if update.\r\n";

inline constexpr std::string_view kLogUpdateStart = "======== UPDATE ========\r\nUpdate Start:\r\n";

inline constexpr std::string_view kLogConfigComplete = "config complete, MCU will auto reset\r\n";
inline constexpr std::string_view kLogConfigFail = "config fail, please reset and try again\r\n";

}  // namespace velkor
