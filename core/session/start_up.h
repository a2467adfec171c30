// What the application does before and after the main dialog: it makes room for the tool on
// the unit (shell started, manager program ended, task bar hidden) and gives the task bar back.
#pragma once

#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/unit_shell.h"

namespace velkor {

// The manager program's window, which holds the serial port.
inline constexpr char kManagerWindowTitle[] = "DOZI";
// The platform task bar's window class.
inline constexpr char kTaskBarWindowClass[] = "HHTaskBar";

// What start-up leaves for the rest of the run.
struct StartUpResult {
    // The executable of the manager program; empty when none was read.
    std::string manager_path;
    // The task bar hidden at start, to be shown again when the dialog has ended.
    std::optional<WindowId> hidden_task_bar;
};

// Starts the shell, ends the manager program and hides the task bar, in that order.
StartUpResult MakeRoomForTool(UnitShell& shell, Clock& clock);

// Polls for the manager's window up to 50 times and kills its process every tenth poll,
// 7000 ms at most. Returns the executable path of the last successful read, empty when there
// was none. A manager that survives is left running: the tool carries on regardless.
std::string CloseManagerProgram(UnitShell& shell, Clock& clock);

// Hides the task bar when it is visible and returns it; nothing when there was nothing to hide.
std::optional<WindowId> HideTaskBar(UnitShell& shell);

// Shows the task bar hidden at start again, if any.
void RestoreTaskBar(UnitShell& shell, std::optional<WindowId> task_bar);

// On Quit: shows the task bar when it exists and is hidden, whoever hid it.
void ShowHiddenTaskBar(UnitShell& shell);

}  // namespace velkor
