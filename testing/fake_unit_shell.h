// A scripted unit shell for unit tests: windows and processes set up by the test, every call
// recorded with the virtual time at which it was made.
#pragma once

#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/unit_shell.h"

namespace velkor {

class FakeUnitShell : public UnitShell {
  public:
    struct Window {
        std::string title;
        std::string window_class;
        std::optional<ProcessId> process;  // none: the owner cannot be told
        bool visible = true;
    };

    static constexpr int kNeverDies = std::numeric_limits<int>::max();

    struct Process {
        // What successive reads of the executable path return, the last one from then on; an
        // empty entry is a read that fails.
        std::vector<std::string> executables;
        // How many kills the process survives; once it dies, its windows go with it.
        int kills_survived = 0;
    };

    struct Call {
        std::uint32_t at_ms;
        std::string operation;  // the member function's name
        std::string argument;   // title, class, window or process id; empty for StartShell
    };

    // Without a clock every call is recorded at 0 ms.
    explicit FakeUnitShell(Clock* clock = nullptr) : clock_(clock) {}

    WindowId AddWindow(Window window);
    void CloseWindow(WindowId window);
    void AddProcess(ProcessId id, Process process);

    std::optional<Window> window(WindowId id) const;
    bool process_alive(ProcessId id) const { return processes_.contains(id); }

    const std::vector<Call>& calls() const { return calls_; }
    // The calls of one operation, in order.
    std::vector<Call> calls(const std::string& operation) const;

    void StartShell() override;
    std::optional<WindowId> FindWindowByTitle(const std::string& title) override;
    std::optional<WindowId> FindWindowByClass(const std::string& window_class) override;
    std::optional<ProcessId> WindowProcess(WindowId window) override;
    std::string ProcessExecutable(ProcessId process) override;
    bool TerminateProcess(ProcessId process) override;
    bool IsWindowVisible(WindowId window) override;
    void ShowWindow(WindowId window) override;
    void HideWindow(WindowId window) override;

  private:
    struct ProcessState {
        Process script;
        std::size_t reads = 0;
        int kills = 0;
    };

    void Record(const std::string& operation, const std::string& argument);

    Clock* clock_;
    WindowId next_window_ = 0x400001;     // ids as an X server hands them out
    std::map<WindowId, Window> windows_;  // ordered: look-ups find the oldest window first
    std::map<ProcessId, ProcessState> processes_;
    std::vector<Call> calls_;
};

}  // namespace velkor
