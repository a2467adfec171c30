// Which programs hold a serial device right now, found without opening it: opening a tty can
// raise the modem lines of a USB adapter and so reset the board behind it.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace velkor {

enum class PortUse {
    kFree,     // no process has it open, and every process could be seen
    kHeld,     // `holders` have it open or locked
    kUnknown,  // none seen, but the open files of some processes are hidden from this user
};

struct PortHolder {
    pid_t pid = 0;
    // Its command name, as the process set it: any bytes, to be shown escaped. Empty when it
    // could not be read.
    std::string program;
};

struct PortUseReport {
    PortUse use = PortUse::kUnknown;
    std::vector<PortHolder> holders;
};

// For each of `devices`, in the same order: the processes whose open files
// (/proc/PID/fd) include it, and those holding a flock on it (/proc/locks, which every user
// may read). A device that cannot be found is reported free of holders but unknown. The
// program at the other end of a pseudo-terminal (one that holds its master) is no holder of
// its slave.
std::vector<PortUseReport> FindPortHolders(const std::vector<std::string>& devices);

// "NAME (pid N)" for each holder, joined by ", ", each name escaped for a terminal ("a
// program" when it could not be read).
std::string HoldersText(const std::vector<PortHolder>& holders);

// HoldersText of the programs that hold `device` open now; empty when none is seen.
std::string HeldBy(const std::string& device);

}  // namespace velkor
