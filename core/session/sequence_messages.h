// Texts the update sequence shows.
#pragma once

#include <string_view>

#include "image/firmware_image.h"
#include "platform/trusted_links.h"
#include "procedures/programming_state.h"

namespace velkor {

inline constexpr std::string_view kLogUpdateComplete = "Update complete, MCU will auto reset\r\n";
inline constexpr std::string_view kLogUpdateFail = "Update fail, please reset and try again\r\n";
inline constexpr std::string_view kComErrorText =
    "Can not open COM port,\r\nPlease Close all application, and try again.";
inline constexpr std::string_view kComErrorCaption = "COM ERROR";
inline constexpr std::string_view kTypeUnknown = "UNKNOWN";
// What an empty checksum display holds.
inline constexpr std::string_view kNoChecksum = " ";

// Why a "FireFile" did not start its update by itself; "Update" stays enabled for a deliberate
// touch.
constexpr std::string_view AutoUpdateNotStartedLine(FileVerdict verdict) {
    switch (verdict) {
        case FileVerdict::kNotForThisUnit:
            return "Automatic update not started: the file is not for this unit.\r\n";
        case FileVerdict::kRefusedByVersionRule:
            return "Automatic update not started: the file version does not suit this unit.\r\n";
        case FileVerdict::kNoDescription:
            return "Automatic update not started: the file has no description to check.\r\n";
        default:
            return "Automatic update not started: the file was not checked.\r\n";
    }
}

// Why a "FireFile" that loaded, but not whole, did not start its update by itself.
constexpr std::string_view AutoUpdateNotWholeLine(const RecordFacts& facts) {
    return facts.data_bytes == 0 ? "Automatic update not started: the file holds no data.\r\n"
                                 : "Automatic update not started: the file may be cut short.\r\n";
}

// Why a "FireFile" was not even loaded.
constexpr std::string_view FireFileRefusedLine(BelowFolder place) {
    switch (place) {
        case BelowFolder::kLeavesFolder:
            return "Automatic update not started: FireFile leaves the program folder.\r\n";
        case BelowFolder::kUntrustedLink:
            return "Automatic update not started: FireFile passes through a link that neither "
                   "root nor this user owns.\r\n";
        case BelowFolder::kNotRegularFile:
            return "Automatic update not started: FireFile is not a regular file.\r\n";
        default:
            return {};
    }
}

}  // namespace velkor
