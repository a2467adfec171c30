// Texts the update sequence shows.
#pragma once

#include <string_view>

namespace velkor {

inline constexpr std::string_view kLogUpdateComplete = "Update complete, MCU will auto reset\r\n";
inline constexpr std::string_view kLogUpdateFail = "Update fail, please reset and try again\r\n";
inline constexpr std::string_view kComErrorText =
    "Can not open COM port,\r\nPlease Close all application, and try again.";
inline constexpr std::string_view kComErrorCaption = "COM ERROR";
inline constexpr std::string_view kTypeUnknown = "UNKNOWN";
// What an empty checksum display holds.
inline constexpr std::string_view kNoChecksum = " ";

}  // namespace velkor
