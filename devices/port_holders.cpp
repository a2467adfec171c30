#include "devices/port_holders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>

#include "platform/text.h"

namespace velkor {
namespace {

struct DeviceId {
    dev_t rdev;  // the device number: what an open file of the device shows
    dev_t fs;    // the file system of its node and the node's inode: what /proc/locks shows
    ino_t inode;
};

std::optional<pid_t> PidOf(const char* name) {
    char* end = nullptr;
    errno = 0;
    const long pid = std::strtol(name, &end, 10);
    if (!std::isdigit(static_cast<unsigned char>(name[0])) || *end != '\0' || errno != 0 ||
        pid <= 0) {
        return std::nullopt;
    }
    return static_cast<pid_t>(pid);
}

std::string ProgramOf(pid_t pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string program;
    std::getline(comm, program);
    return program;
}

void AddHolder(PortUseReport& report, pid_t pid) {
    const bool known = std::any_of(report.holders.begin(), report.holders.end(),
                                   [pid](const PortHolder& holder) { return holder.pid == pid; });
    if (!known) {
        report.holders.push_back({pid, ProgramOf(pid)});
    }
}

// The pseudo-terminal whose master end `fd` of the process is: the kernel names its index in
// the descriptor's fdinfo ("tty-index:"). None when it does not say.
std::optional<unsigned> MasterIndex(int proc_fd, pid_t pid, const char* fd) {
    const std::string info = std::to_string(pid) + "/fdinfo/" + fd;
    const int info_fd = ::openat(proc_fd, info.c_str(), O_RDONLY | O_CLOEXEC);
    if (info_fd < 0) {
        return std::nullopt;
    }
    char text[512];
    const ssize_t length = ::read(info_fd, text, sizeof text - 1);
    ::close(info_fd);
    if (length <= 0) {
        return std::nullopt;
    }
    text[length] = '\0';
    const char* field = std::strstr(text, "tty-index:");
    unsigned index = 0;
    if (field == nullptr || std::sscanf(field, "tty-index: %u", &index) != 1) {
        return std::nullopt;
    }
    return index;
}

// The index of the pseudo-terminal whose slave end has device number `rdev`; none for any
// other device.
std::optional<unsigned> SlaveIndex(dev_t rdev) {
    constexpr unsigned kFirstSlaveMajor = 136;  // UNIX98 pseudo-terminal slaves: 136 to 143
    constexpr unsigned kSlaveMajors = 8;
    const unsigned major_number = major(rdev);
    if (major_number < kFirstSlaveMajor || major_number >= kFirstSlaveMajor + kSlaveMajors) {
        return std::nullopt;
    }
    return (major_number - kFirstSlaveMajor) * 256 + minor(rdev);
}

// The open files of one process that are the devices; false when they are hidden. A process
// that holds the master end of a pseudo-terminal is its other end (velkor-sim, a bridge to a
// remote port) and keeps the slave open by design: it does not count as holding the slave.
bool ScanProcess(int proc_fd, pid_t pid, const std::vector<std::optional<DeviceId>>& ids,
                 std::vector<PortUseReport>& reports) {
    const std::string fd_dir = std::to_string(pid) + "/fd";
    const int dir_fd = ::openat(proc_fd, fd_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd < 0) {
        return errno == ENOENT;  // a process that has ended hides nothing
    }
    DIR* dir = ::fdopendir(dir_fd);
    if (dir == nullptr) {
        ::close(dir_fd);
        return false;
    }
    std::vector<std::size_t> held;
    std::vector<std::optional<unsigned>> masters;  // none: a master whose index is not known
    while (const dirent* entry = ::readdir(dir)) {
        char target[64];
        const ssize_t length = ::readlinkat(dir_fd, entry->d_name, target, sizeof target - 1);
        // Only device nodes are looked at further: a stat of any other open file could wait
        // on a network file system that does not answer.
        if (length < 5 || std::string_view(target, 5) != "/dev/") {
            continue;
        }
        struct stat status {};
        if (::fstatat(dir_fd, entry->d_name, &status, 0) != 0 || !S_ISCHR(status.st_mode)) {
            continue;
        }
        if (status.st_rdev == makedev(5, 2)) {  // /dev/ptmx: a master end
            masters.push_back(MasterIndex(proc_fd, pid, entry->d_name));
            continue;
        }
        for (std::size_t i = 0; i < ids.size(); ++i) {
            if (ids[i] && ids[i]->rdev == status.st_rdev) {
                held.push_back(i);
            }
        }
    }
    ::closedir(dir);
    for (const std::size_t i : held) {
        const auto slave = SlaveIndex(ids[i]->rdev);
        const bool other_end =
            slave && std::any_of(masters.begin(), masters.end(), [&](const auto& master) {
                // A kernel that does not name the index: any master counts as the other end.
                return !master || *master == *slave;
            });
        if (!other_end) {
            AddHolder(reports[i], pid);
        }
    }
    return true;
}

// flock locks: "1: FLOCK  ADVISORY  WRITE 4242 00:05:1043 0 EOF"; a waiter's line has "->"
// after the number.
void ScanLocks(const std::vector<std::optional<DeviceId>>& ids,
               std::vector<PortUseReport>& reports) {
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, where;
        long pid = 0;
        if (!(fields >> number >> kind) || kind == "->" || kind != "FLOCK" ||
            !(fields >> mode >> access >> pid >> where)) {
            continue;
        }
        unsigned major_number = 0, minor_number = 0;
        unsigned long long inode = 0;
        if (std::sscanf(where.c_str(), "%x:%x:%llu", &major_number, &minor_number, &inode) != 3) {
            continue;
        }
        for (std::size_t i = 0; i < ids.size(); ++i) {
            if (ids[i] && ids[i]->fs == makedev(major_number, minor_number) &&
                ids[i]->inode == inode) {
                AddHolder(reports[i], static_cast<pid_t>(pid));
            }
        }
    }
}

}  // namespace

std::vector<PortUseReport> FindPortHolders(const std::vector<std::string>& devices) {
    std::vector<PortUseReport> reports(devices.size());
    std::vector<std::optional<DeviceId>> ids;
    for (const std::string& device : devices) {
        struct stat status {};
        if (::stat(device.c_str(), &status) == 0 && S_ISCHR(status.st_mode)) {
            ids.push_back(DeviceId{status.st_rdev, status.st_dev, status.st_ino});
        } else {
            ids.emplace_back();
        }
    }

    // Everything counts as seen only when every process's files could be read, the first
    // process's included: /proc mounted with hidepid leaves other users' processes out of
    // the listing rather than refusing them.
    bool all_seen = false;
    if (DIR* proc = ::opendir("/proc")) {
        all_seen = true;
        bool first_seen = false;
        while (const dirent* entry = ::readdir(proc)) {
            const auto pid = PidOf(entry->d_name);
            if (!pid) {
                continue;
            }
            first_seen = first_seen || *pid == 1;
            if (!ScanProcess(::dirfd(proc), *pid, ids, reports)) {
                all_seen = false;
            }
        }
        ::closedir(proc);
        all_seen = all_seen && first_seen;
    }
    ScanLocks(ids, reports);

    for (std::size_t i = 0; i < reports.size(); ++i) {
        if (!reports[i].holders.empty()) {
            reports[i].use = PortUse::kHeld;
        } else {
            reports[i].use = all_seen && ids[i] ? PortUse::kFree : PortUse::kUnknown;
        }
    }
    return reports;
}

std::string HoldersText(const std::vector<PortHolder>& holders) {
    std::string text;
    for (const PortHolder& holder : holders) {
        if (!text.empty()) {
            text += ", ";
        }
        text += holder.program.empty() ? std::string("a program") : EscapeControls(holder.program);
        text += " (pid ";
        text += std::to_string(holder.pid);
        text += ')';
    }
    return text;
}

std::string HeldBy(const std::string& device) {
    const std::vector<PortUseReport> uses = FindPortHolders({device});
    return uses.front().use == PortUse::kHeld ? HoldersText(uses.front().holders) : std::string();
}

}  // namespace velkor
