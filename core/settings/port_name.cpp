#include "settings/port_name.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "settings/profile.h"
#include "settings/settings_keys.h"

namespace velkor {
namespace {

// The number n of "COMn:" or "COMn", or 0 when `name` is not such a name.
unsigned ComPortNumber(std::string_view name) {
    if (name.size() < 4 || !std::equal(name.begin(), name.begin() + 3, "COM", [](char a, char b) {
            return std::toupper(static_cast<unsigned char>(a)) == b;
        })) {
        return 0;
    }
    name.remove_prefix(3);
    if (name.back() == ':') {
        name.remove_suffix(1);
    }
    if (name.empty() || name.size() > 3 || !std::all_of(name.begin(), name.end(), [](char ch) {
            return std::isdigit(static_cast<unsigned char>(ch)) != 0;
        })) {
        return 0;
    }
    unsigned number = 0;
    for (char ch : name) {
        number = number * 10 + static_cast<unsigned>(ch - '0');
    }
    return number;
}

std::string_view TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool ProcessIsInGroup(gid_t group) {
    if (::getegid() == group) {
        return true;
    }
    const int count = ::getgroups(0, nullptr);
    if (count <= 0) {
        return false;
    }
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int filled = ::getgroups(count, groups.data());
    return filled > 0 &&
           std::find(groups.begin(), groups.begin() + filled, group) != groups.begin() + filled;
}

// Re-entrant: the ports of several units are opened from threads of their own.
std::string GroupName(gid_t gid) {
    long size = ::sysconf(_SC_GETGR_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 1024));
    for (;;) {
        struct group entry {};
        struct group* found = nullptr;
        const int error = ::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE && buffer.size() < (std::size_t{1} << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (error == 0 && found != nullptr && found->gr_name != nullptr) {
            return found->gr_name;
        }
        return "with id " + std::to_string(gid);
    }
}

std::string AccessDeniedReason(const std::string& device) {
    struct stat status {};
    if (::stat(device.c_str(), &status) != 0) {
        return "access denied";
    }
    // Joining a group helps only when the group may read and write the device.
    constexpr mode_t kGroupReadWrite = S_IRGRP | S_IWGRP;
    if ((status.st_mode & kGroupReadWrite) != kGroupReadWrite) {
        return "access denied, and its group has no read and write access to it; ask the "
               "administrator for access";
    }
    std::string group = "\"";
    group += GroupName(status.st_gid);
    group += '"';
    if (ProcessIsInGroup(status.st_gid)) {
        return "access denied, although the user is in the group " + group + " that owns it";
    }
    return "the user is not in the group " + group +
           " that owns it; add the user to that group and log in again";
}

struct OpenFailureReason {
    int error;
    const char* words;
    bool names_source;  // the words end in the advice to check where the name came from
};

constexpr OpenFailureReason kOpenFailureReasons[] = {
    {EBUSY, "another program holds it; close that program and try again", false},
    {EWOULDBLOCK, "another program holds it; close that program and try again", false},
    {ENOENT, "no such device; check the cable and ", true},
    {ENODEV, "the device is not present; check the cable", false},
    {ENXIO, "the device is not present; check the cable", false},
    {ENOTTY, "it is not a serial port; check ", true},
    {EISDIR, "it is not a serial port; check ", true},
};

// The device as named, and for a name given on a command line that leads elsewhere (a
// /dev/serial/by-id/ link, say) the device it leads to as well: "LINK (DEVICE)".
std::string NamedDevice(const std::string& device, std::string_view source) {
    std::string named = device;
    char resolved[PATH_MAX];
    if (source == kPortSourceCommandLine && ::realpath(device.c_str(), resolved) != nullptr &&
        device != resolved) {
        named += " (";
        named += resolved;
        named += ')';
    }
    return named;
}

}  // namespace

std::string ResolvePortDevice(std::string_view port_name,
                              const std::filesystem::path& settings_file) {
    const unsigned number = ComPortNumber(port_name);
    if (number == 0) {
        return std::string(port_name);
    }
    if (!settings_file.empty()) {
        std::string configured;
        ProfileReadString(kUpdateConfigSection, kComPortKey, "", configured, kComPortCapacity,
                          settings_file);
        if (const auto device = TrimBlanks(configured); !device.empty()) {
            return std::string(device);
        }
    }
    return "/dev/ttyS" + std::to_string(number - 1);
}

std::string DescribeOpenFailure(int error, const std::string& device, std::string_view source) {
    std::string reason;
    if (error == EACCES || error == EPERM) {
        reason = AccessDeniedReason(device);
    } else if (const auto* known =
                   std::find_if(std::begin(kOpenFailureReasons), std::end(kOpenFailureReasons),
                                [error](const auto& entry) { return entry.error == error; });
               known != std::end(kOpenFailureReasons)) {
        reason = known->words;
        if (known->names_source) {
            reason += source;
        }
    } else {
        reason = std::strerror(error);
    }
    std::string line = "Can not open serial port ";
    line += NamedDevice(device, source);
    line += ": ";
    line += reason;
    line += "\r\n";
    return line;
}

}  // namespace velkor
