// The other programs of the head unit that the tool makes room for: the manager program that
// holds the serial port, the platform shell and the task bar.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velkor {

using WindowId = std::uint64_t;
using ProcessId = int;

// The platform shell, started by name from the search path.
inline constexpr char kShellProgram[] = "Explorer.exe";

class UnitShell {
  public:
    virtual ~UnitShell() = default;

    // Starts the platform shell (kShellProgram) without waiting for it; failure is ignored.
    virtual void StartShell() = 0;

    // A top-level window with this title (the manager program's is "DOZI").
    virtual std::optional<WindowId> FindWindowByTitle(const std::string& title) = 0;
    // A window of this class (the task bar's is "HHTaskBar").
    virtual std::optional<WindowId> FindWindowByClass(const std::string& window_class) = 0;
    // The process that owns the window.
    virtual std::optional<ProcessId> WindowProcess(WindowId window) = 0;
    // The executable path of the process; empty when it cannot be read.
    virtual std::string ProcessExecutable(ProcessId process) = 0;
    // Ends the process at once; false when it could not be ended.
    virtual bool TerminateProcess(ProcessId process) = 0;

    virtual bool IsWindowVisible(WindowId window) = 0;
    virtual void ShowWindow(WindowId window) = 0;
    virtual void HideWindow(WindowId window) = 0;
};

}  // namespace velkor
