// Starting, inspecting and ending other programs of the unit by process id.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace velkor {

// Starts `program` (looked up in the absolute entries of PATH unless it holds a slash) in a session
// of its own and returns once it has been executed, without waiting for it to end; it is reaped in
// the background, so its end leaves no zombie. False when it could not be started.
bool StartDetached(const std::string& program);

// The path of the executable the process runs; empty when it cannot be read.
std::string ExecutablePath(int process);

// The user the process runs as; none when it cannot be read, or when its real and effective
// users differ.
std::optional<uid_t> ProcessUser(int process);

// Ends the process with SIGKILL. Ids that would signal a group or every process, and the
// tool's own id, are refused, so a bogus window property cannot take the tool down.
bool KillProcess(int process);

}  // namespace velkor
