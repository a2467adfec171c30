#include "picker/folder_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "picker/browser_paths.h"

namespace velkor {
namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

DirHandle OpenFolder(const std::string& folder) {
    return DirHandle(::opendir(DiskPath(folder).c_str()));
}

bool IsDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// The folder as the mount table writes paths: without links, "." or "..".
std::string CanonicalFolder(const std::string& folder) {
    char* resolved = ::realpath(DiskPath(folder).c_str(), nullptr);
    if (resolved == nullptr) {
        return DiskPath(folder);
    }
    std::string path = resolved;
    std::free(resolved);
    return path;
}

MountKind MountPointKind(const MountTable& mounts, const std::string& canonical_folder,
                         const std::string& name, std::uint64_t device) {
    if (!mounts.known()) {
        return MountKind::kMountedVolume;
    }
    const std::string mount_point =
        canonical_folder == "/" ? "/" + name : canonical_folder + "/" + name;
    const MountEntry* mount = mounts.Find(mount_point, device);
    // Another device without a mount of its own there: a part of the same file system that
    // reports a device of its own (a btrfs subvolume), a plain folder.
    return mount != nullptr ? ClassifyMount(*mount) : MountKind::kPlainFolder;
}

}  // namespace

void FolderRows::Clear() {
    rows_.clear();
    folder_count_ = 0;
    file_count_ = 0;
}

void FolderRows::Add(ListingRow row) {
    const auto group_begin = rows_.begin() + (row.is_folder ? 0 : folder_count_);
    const auto group_end = group_begin + (row.is_folder ? folder_count_ : file_count_);
    const auto position = std::find_if(group_begin, group_end, [&](const ListingRow& r) {
        return CompareAsUtf16(r.name, row.name) > 0;
    });
    ++(row.is_folder ? folder_count_ : file_count_);
    rows_.insert(position, std::move(row));
}

bool NamesExistingFolder(const std::string& folder) {
    return FolderDevice(folder).has_value();
}

std::optional<std::uint64_t> FolderDevice(const std::string& folder) {
    struct stat status {};
    if (::stat(DiskPath(folder).c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(status.st_dev);
}

bool ReadFolder(const std::string& folder, int mcu_type, FolderRows& rows) {
    return ReadFolder(folder, mcu_type, MountTable::Read(), rows);
}

bool ReadFolder(const std::string& folder, int mcu_type, const MountTable& mounts,
                FolderRows& rows) {
    const DirHandle dir = OpenFolder(folder);
    if (!dir) {
        return false;
    }
    const int dir_fd = ::dirfd(dir.get());
    struct stat folder_status {};
    if (::fstat(dir_fd, &folder_status) != 0) {
        return false;
    }
    const std::string canonical_folder = CanonicalFolder(folder);
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        struct stat link_status {};
        if (::fstatat(dir_fd, entry->d_name, &link_status, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        // A link counts as what it leads to; one that leads nowhere is no file to read.
        struct stat status = link_status;
        const bool is_link = S_ISLNK(link_status.st_mode);
        if (is_link && ::fstatat(dir_fd, entry->d_name, &status, 0) != 0) {
            continue;
        }
        ListingRow row;
        row.name = name;
        if (S_ISDIR(status.st_mode)) {
            if (name.starts_with('.')) {
                continue;  // the system attribute hides a folder
            }
            // A link is never a mount point, even when it leads to another device.
            const MountKind kind =
                !is_link && link_status.st_dev != folder_status.st_dev
                    ? MountPointKind(mounts, canonical_folder, name, link_status.st_dev)
                    : MountKind::kPlainFolder;
            if (kind == MountKind::kSystemFolder) {
                continue;  // hidden as the other system folders are
            }
            row.is_folder = true;
            row.icon = ChooseRowIcon(true, kind == MountKind::kMountedVolume, name);
        } else if (S_ISREG(status.st_mode) && FileFitsMcuType(name, mcu_type)) {
            row.icon = RowIcon::kFirmwareFile;
        } else {
            continue;  // devices, pipes and sockets are never firmware files
        }
        row.date_text = DateText(status.st_mtim.tv_sec);
        rows.Add(std::move(row));
    }
    return true;
}

bool FolderHasEntries(const std::string& folder) {
    const DirHandle dir = OpenFolder(folder);
    if (!dir) {
        return false;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        if (!IsDotOrDotDot(entry->d_name)) {
            return true;
        }
    }
    return false;
}

}  // namespace velkor
