// Log lines of the MCU queries, shared by both dialects.
#pragma once

#include <string_view>

namespace velkor {

inline constexpr std::string_view kLogVersionHeading = "======== MCU Version ========\r\n";
inline constexpr std::string_view kLogInformationHeading = "======== MCU Information ========\r\n";
// The MCU did not acknowledge a query.
inline constexpr std::string_view kLogNoResponse = "MCU no respone\r\n";

}  // namespace velkor
