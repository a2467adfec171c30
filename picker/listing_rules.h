// How one directory entry becomes a row of the file browser: its icon, whether a file suits
// the MCU family, and its date text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velkor {

// The row icons, in the order the browser's image list holds them.
enum class RowIcon : int {
    kFolder = 0,
    kFirmwareFile = 1,
    kStorageVolume = 2,
    kNetworkVolume = 3,
    kRecycleBin = 4,
};
inline constexpr int kRowIconCount = 5;

// The item data a row carries.
inline constexpr int kFolderItemData = 0;
inline constexpr int kFileItemData = 1;

inline constexpr const char* kInvalidDateTime = "Invalid DateTime";

// A file gets the firmware-file icon; a mounted volume the recycle-bin icon when its name
// holds "Recycle", else the network-volume icon when it holds "Net", else the storage-volume
// icon (case-sensitive); any other folder the folder icon.
RowIcon ChooseRowIcon(bool is_folder, bool is_mounted_volume, std::string_view name);

// Whether a file of this name is shown for the MCU type: its extension (from the last '.' on,
// in lower case) is ".s19" for STM8, ".hex" for NEC and M3, either for any other value.
bool FileFitsMcuType(std::string_view name, int mcu_type);

// A last-write time, seconds since the epoch, as local "%Y-%m-%d %H:%M:%S", or
// "Invalid DateTime" when it cannot be converted.
std::string DateText(std::int64_t seconds_since_epoch);

}  // namespace velkor
