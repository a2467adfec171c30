#include "session/start_up.h"

#include <cstdint>
#include <utility>

namespace velkor {
namespace {

constexpr int kManagerPolls = 50;
// The manager gets a kill on every tenth poll and this long to go away.
constexpr int kKillEvery = 10;
constexpr std::uint32_t kAfterKillMs = 500;
constexpr std::uint32_t kBetweenPollsMs = 100;

}  // namespace

StartUpResult MakeRoomForTool(UnitShell& shell, Clock& clock) {
    shell.StartShell();
    StartUpResult result;
    result.manager_path = CloseManagerProgram(shell, clock);
    result.hidden_task_bar = HideTaskBar(shell);
    return result;
}

std::string CloseManagerProgram(UnitShell& shell, Clock& clock) {
    std::string manager_path;
    for (int poll = 0; poll < kManagerPolls; ++poll) {
        const auto window = shell.FindWindowByTitle(kManagerWindowTitle);
        if (!window) {
            break;
        }
        if (poll % kKillEvery != 0) {
            clock.SleepMs(kBetweenPollsMs);
            continue;
        }
        if (const auto process = shell.WindowProcess(*window)) {
            if (std::string path = shell.ProcessExecutable(*process); !path.empty()) {
                manager_path = std::move(path);
            }
            shell.TerminateProcess(*process);
        }
        clock.SleepMs(kAfterKillMs);
    }
    return manager_path;
}

std::optional<WindowId> HideTaskBar(UnitShell& shell) {
    const auto task_bar = shell.FindWindowByClass(kTaskBarWindowClass);
    if (!task_bar || !shell.IsWindowVisible(*task_bar)) {
        return std::nullopt;
    }
    shell.HideWindow(*task_bar);
    return task_bar;
}

void RestoreTaskBar(UnitShell& shell, std::optional<WindowId> task_bar) {
    if (task_bar) {
        shell.ShowWindow(*task_bar);
    }
}

void ShowHiddenTaskBar(UnitShell& shell) {
    const auto task_bar = shell.FindWindowByClass(kTaskBarWindowClass);
    if (task_bar && !shell.IsWindowVisible(*task_bar)) {
        shell.ShowWindow(*task_bar);
    }
}

}  // namespace velkor
