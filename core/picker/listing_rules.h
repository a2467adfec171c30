// How one directory entry becomes a row of the file browser: its icon, whether a file suits
// the MCU family, and its date text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "picker/mount_table.h"

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

// What a mount point is to the browser. A system folder holds a pseudo file system (proc,
// sysfs, devices, control groups, run-time state and the like) and is hidden; a mounted volume
// is a whole file system on a block device, such as a storage card, or a network share; any
// other mount (a folder bound elsewhere, a memory file system for files, an overlay) is a
// plain folder.
enum class MountKind { kSystemFolder, kMountedVolume, kPlainFolder };
MountKind ClassifyMount(const MountEntry& mount);

// Orders two names, UTF-8, by their UTF-16 code units: negative when `a` comes first, 0 when
// they are equal. A byte that is not part of a UTF-8 sequence counts as the unit 0xDC00 plus
// its value, so that every name has its place.
int CompareAsUtf16(std::string_view a, std::string_view b);

// Whether a file of this name is shown for the MCU type: its extension (from the last '.' on,
// in lower case) is ".s19" for STM8, ".hex" for NEC and M3, either for any other value.
bool FileFitsMcuType(std::string_view name, int mcu_type);

// A last-write time, seconds since the epoch, as local "%Y-%m-%d %H:%M:%S", or
// "Invalid DateTime" when it cannot be converted.
std::string DateText(std::int64_t seconds_since_epoch);

}  // namespace velkor
