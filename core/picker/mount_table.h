// The kernel's table of mounted file systems as the file browser reads it: where each one is
// mounted, on which device, of which type and from which source.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velkor {

inline constexpr const char* kMountTablePath = "/proc/self/mountinfo";

struct MountEntry {
    std::uint64_t device = 0;  // the st_dev of the files on it
    unsigned device_major = 0;
    std::string root;  // the folder of the file system that is mounted: "/" for all of it
    std::string mount_point;
    std::string fs_type;
    std::string source;
};

class MountTable {
  public:
    // An unknown table: nothing can be told about any mount point.
    MountTable() = default;

    // The table in the text of a mountinfo file; lines that cannot be read are skipped.
    static MountTable Parse(std::string_view text);
    // The table at `path`; unknown when it cannot be read.
    static MountTable Read(const std::string& path = kMountTablePath);

    bool known() const { return known_; }
    const std::vector<MountEntry>& entries() const { return entries_; }

    // The file system seen at `mount_point` (the last one mounted there), else the last one
    // mounted from `device`; nullptr when there is neither.
    const MountEntry* Find(const std::string& mount_point, std::uint64_t device) const;

  private:
    bool known_ = false;
    std::vector<MountEntry> entries_;
};

}  // namespace velkor
