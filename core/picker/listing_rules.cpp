#include "picker/listing_rules.h"

#include <time.h>

#include <algorithm>
#include <limits>
#include <span>
#include <utility>

#include "settings/unit_types.h"

namespace velkor {
namespace {

// File systems that hold no files of the technician's, only the system's view of itself.
constexpr std::string_view kPseudoFileSystems[] = {
    "autofs", "binfmt_misc", "bpf",        "cgroup",    "cgroup2",   "configfs", "debugfs", "devfs",
    "devpts", "devtmpfs",    "efivarfs",   "fusectl",   "hugetlbfs", "mqueue",   "nsfs",    "proc",
    "pstore", "rpc_pipefs",  "securityfs", "selinuxfs", "sysfs",     "tracefs",
};
// Memory file systems hold files too; they are system folders where the system keeps its
// state.
constexpr std::string_view kMemoryFileSystems[] = {"ramfs", "tmpfs"};
constexpr std::string_view kSystemTrees[] = {"/run", "/dev", "/sys", "/proc"};
constexpr std::string_view kNetworkFileSystems[] = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "9p"};

bool OneOf(std::span<const std::string_view> names, std::string_view name) {
    return std::ranges::find(names, name) != names.end();
}

bool InSystemTree(std::string_view path) {
    for (std::string_view tree : kSystemTrees) {
        if (path.starts_with(tree) && (path.size() == tree.size() || path[tree.size()] == '/')) {
            return true;
        }
    }
    return false;
}

// Reads a name's UTF-16 code units one at a time.
class Utf16Units {
  public:
    explicit Utf16Units(std::string_view text) : text_(text) {}

    // The next code unit, or -1 after the last.
    int Next() {
        if (low_surrogate_ >= 0) {
            return std::exchange(low_surrogate_, -1);
        }
        if (at_ >= text_.size()) {
            return -1;
        }
        const char32_t code_point = NextCodePoint();
        if (code_point < 0x10000) {
            return static_cast<int>(code_point);
        }
        low_surrogate_ = static_cast<int>(0xDC00 + ((code_point - 0x10000) & 0x3FF));
        return static_cast<int>(0xD800 + ((code_point - 0x10000) >> 10));
    }

  private:
    char32_t NextCodePoint() {
        const auto byte = [this](std::size_t i) { return static_cast<unsigned char>(text_[i]); };
        const unsigned char lead = byte(at_);
        int length = 0;
        char32_t code_point = 0;
        char32_t least = 0;
        if (lead < 0x80) {
            ++at_;
            return lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, code_point = lead & 0x1F, least = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, code_point = lead & 0x0F, least = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, code_point = lead & 0x07, least = 0x10000;
        }
        bool valid = length > 0 && at_ + static_cast<std::size_t>(length) <= text_.size();
        for (int i = 1; valid && i < length; ++i) {
            const unsigned char next = byte(at_ + static_cast<std::size_t>(i));
            valid = (next & 0xC0) == 0x80;
            code_point = (code_point << 6) | (next & 0x3F);
        }
        // Overlong forms, encoded surrogates and values past U+10FFFF are no UTF-8.
        valid = valid && code_point >= least && code_point <= 0x10FFFF &&
                (code_point < 0xD800 || code_point > 0xDFFF);
        if (!valid) {
            ++at_;
            return 0xDC00 + lead;
        }
        at_ += static_cast<std::size_t>(length);
        return code_point;
    }

    std::string_view text_;
    std::size_t at_ = 0;
    int low_surrogate_ = -1;
};

}  // namespace

MountKind ClassifyMount(const MountEntry& mount) {
    if (OneOf(kMemoryFileSystems, mount.fs_type)) {
        return InSystemTree(mount.mount_point) ? MountKind::kSystemFolder : MountKind::kPlainFolder;
    }
    if (OneOf(kPseudoFileSystems, mount.fs_type)) {
        return MountKind::kSystemFolder;
    }
    if (mount.root != "/") {
        return MountKind::kPlainFolder;  // a folder of a file system bound elsewhere
    }
    if (OneOf(kNetworkFileSystems, mount.fs_type)) {
        return MountKind::kMountedVolume;
    }
    // A block device has a major number; some file systems (btrfs) report an anonymous
    // device instead, but name the block device as their source.
    const bool on_block_device =
        mount.device_major != 0 || std::string_view(mount.source).starts_with("/dev/");
    return on_block_device ? MountKind::kMountedVolume : MountKind::kPlainFolder;
}

int CompareAsUtf16(std::string_view a, std::string_view b) {
    Utf16Units left(a);
    Utf16Units right(b);
    for (;;) {
        const int l = left.Next();
        const int r = right.Next();
        if (l != r || l < 0) {
            return l - r;
        }
    }
}

RowIcon ChooseRowIcon(bool is_folder, bool is_mounted_volume, std::string_view name) {
    if (!is_folder) {
        return RowIcon::kFirmwareFile;
    }
    if (!is_mounted_volume) {
        return RowIcon::kFolder;
    }
    if (name.find("Recycle") != std::string_view::npos) {
        return RowIcon::kRecycleBin;
    }
    if (name.find("Net") != std::string_view::npos) {
        return RowIcon::kNetworkVolume;
    }
    return RowIcon::kStorageVolume;
}

bool FileFitsMcuType(std::string_view name, int mcu_type) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        return false;
    }
    std::string extension(name.substr(dot));
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    const bool is_s19 = extension == ".s19";
    const bool is_hex = extension == ".hex";
    switch (mcu_type) {
        case kMcuTypeStm8:
            return is_s19;
        case kMcuTypeNec:
        case kMcuTypeM3:
            return is_hex;
        default:
            return is_s19 || is_hex;
    }
}

std::string DateText(std::int64_t seconds_since_epoch) {
    if (seconds_since_epoch < std::numeric_limits<time_t>::min() ||
        seconds_since_epoch > std::numeric_limits<time_t>::max()) {
        return kInvalidDateTime;
    }
    const time_t time = static_cast<time_t>(seconds_since_epoch);
    struct tm local {};
    if (::localtime_r(&time, &local) == nullptr) {
        return kInvalidDateTime;
    }
    char text[64];
    const std::size_t length = ::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    if (length == 0) {
        return kInvalidDateTime;
    }
    return std::string(text, length);
}

}  // namespace velkor
