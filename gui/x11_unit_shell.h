// The unit shell on an X display: the manager program is the owner of a top-level window
// named "DOZI", the task bar a window of class "HHTaskBar".
#pragma once

#include <set>
#include <string>

#include "platform/unit_shell.h"

struct _XDisplay;  // Xlib's Display, kept out of every includer's namespace

namespace velkor {

class X11UnitShell final : public UnitShell {
  public:
    // Connects to the named display, or to $DISPLAY when the name is empty. Without a display
    // every look-up finds nothing and nothing fails.
    explicit X11UnitShell(const std::string& display_name = {});
    ~X11UnitShell() override;
    X11UnitShell(const X11UnitShell&) = delete;
    X11UnitShell& operator=(const X11UnitShell&) = delete;

    bool connected() const { return display_ != nullptr; }

    void StartShell() override;
    // Top-level windows, and those one level below them, where reparenting window managers
    // put the clients into frames; the topmost match wins.
    std::optional<WindowId> FindWindowByTitle(const std::string& title) override;
    std::optional<WindowId> FindWindowByClass(const std::string& window_class) override;
    // From _NET_WM_PID.
    std::optional<ProcessId> WindowProcess(WindowId window) override;
    std::string ProcessExecutable(ProcessId process) override;
    // Only a process of the user running the tool; another's is left, said once on standard
    // error.
    bool TerminateProcess(ProcessId process) override;
    bool IsWindowVisible(WindowId window) override;
    void ShowWindow(WindowId window) override;
    void HideWindow(WindowId window) override;

  private:
    template <typename Match>
    std::optional<WindowId> FindWindow(Match match);
    // _NET_WM_NAME when set, else WM_NAME, as UTF-8.
    std::optional<std::string> WindowName(WindowId window);

    _XDisplay* display_ = nullptr;
    unsigned long net_wm_name_ = 0;  // atoms
    unsigned long net_wm_pid_ = 0;
    unsigned long utf8_string_ = 0;
    std::set<ProcessId> left_running_;  // said once each
};

}  // namespace velkor
