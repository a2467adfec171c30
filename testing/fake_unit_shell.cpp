#include "testing/fake_unit_shell.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace velkor {

WindowId FakeUnitShell::AddWindow(Window window) {
    const WindowId id = next_window_++;
    windows_.emplace(id, std::move(window));
    return id;
}

void FakeUnitShell::CloseWindow(WindowId window) {
    windows_.erase(window);
}

void FakeUnitShell::AddProcess(ProcessId id, Process process) {
    processes_[id] = ProcessState{std::move(process)};
}

std::optional<FakeUnitShell::Window> FakeUnitShell::window(WindowId id) const {
    const auto found = windows_.find(id);
    if (found == windows_.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::vector<FakeUnitShell::Call> FakeUnitShell::calls(const std::string& operation) const {
    std::vector<Call> matching;
    std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(matching),
                 [&](const Call& call) { return call.operation == operation; });
    return matching;
}

void FakeUnitShell::Record(const std::string& operation, const std::string& argument) {
    calls_.push_back({clock_ != nullptr ? clock_->NowMs() : 0u, operation, argument});
}

void FakeUnitShell::StartShell() {
    Record("StartShell", {});
}

std::optional<WindowId> FakeUnitShell::FindWindowByTitle(const std::string& title) {
    Record("FindWindowByTitle", title);
    for (const auto& [id, entry] : windows_) {
        if (entry.title == title) {
            return id;
        }
    }
    return std::nullopt;
}

std::optional<WindowId> FakeUnitShell::FindWindowByClass(const std::string& window_class) {
    Record("FindWindowByClass", window_class);
    for (const auto& [id, entry] : windows_) {
        if (entry.window_class == window_class) {
            return id;
        }
    }
    return std::nullopt;
}

std::optional<ProcessId> FakeUnitShell::WindowProcess(WindowId window) {
    Record("WindowProcess", std::to_string(window));
    const auto found = windows_.find(window);
    return found != windows_.end() ? found->second.process : std::nullopt;
}

std::string FakeUnitShell::ProcessExecutable(ProcessId process) {
    Record("ProcessExecutable", std::to_string(process));
    const auto found = processes_.find(process);
    if (found == processes_.end() || found->second.script.executables.empty()) {
        return {};
    }
    ProcessState& state = found->second;
    const auto& executables = state.script.executables;
    return executables[std::min(state.reads++, executables.size() - 1)];
}

bool FakeUnitShell::TerminateProcess(ProcessId process) {
    Record("TerminateProcess", std::to_string(process));
    const auto found = processes_.find(process);
    if (found == processes_.end() || found->second.kills++ < found->second.script.kills_survived) {
        return false;
    }
    processes_.erase(found);
    std::erase_if(windows_, [&](const auto& entry) { return entry.second.process == process; });
    return true;
}

bool FakeUnitShell::IsWindowVisible(WindowId window) {
    Record("IsWindowVisible", std::to_string(window));
    const auto found = windows_.find(window);
    return found != windows_.end() && found->second.visible;
}

void FakeUnitShell::ShowWindow(WindowId window) {
    Record("ShowWindow", std::to_string(window));
    if (const auto found = windows_.find(window); found != windows_.end()) {
        found->second.visible = true;
    }
}

void FakeUnitShell::HideWindow(WindowId window) {
    Record("HideWindow", std::to_string(window));
    if (const auto found = windows_.find(window); found != windows_.end()) {
        found->second.visible = false;
    }
}

}  // namespace velkor
