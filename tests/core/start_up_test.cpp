#include "session/start_up.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "testing/fake_unit_shell.h"

namespace velkor {
namespace {

using Window = FakeUnitShell::Window;
using Process = FakeUnitShell::Process;

constexpr std::uint32_t kStartMs = 40000;
constexpr ProcessId kManager = 321;
constexpr char kManagerExe[] = "/StaticStore/J5/Manager.exe";

std::vector<std::uint32_t> Times(const std::vector<FakeUnitShell::Call>& calls) {
    std::vector<std::uint32_t> times;
    for (const auto& call : calls) {
        times.push_back(call.at_ms - kStartMs);
    }
    return times;
}

std::vector<std::string> Arguments(const std::vector<FakeUnitShell::Call>& calls) {
    std::vector<std::string> arguments;
    for (const auto& call : calls) {
        arguments.push_back(call.argument);
    }
    return arguments;
}

// Poll i starts after 500 ms for every earlier multiple of 10 and 100 ms for every other poll.
std::vector<std::uint32_t> PollTimes(int polls) {
    std::vector<std::uint32_t> times;
    std::uint32_t at = 0;
    for (int poll = 0; poll < polls; ++poll) {
        times.push_back(at);
        at += poll % 10 == 0 ? 500 : 100;
    }
    return times;
}

class StartUpTest : public ::testing::Test {
  protected:
    std::uint32_t elapsed() { return clock.NowMs() - kStartMs; }

    WindowId AddManager(std::vector<std::string> executables, int kills_survived = 0,
                        ProcessId process = kManager) {
        shell.AddProcess(process, {std::move(executables), kills_survived});
        return shell.AddWindow({kManagerWindowTitle, "DoziClass", process, true});
    }

    VirtualClock clock{kStartMs};
    FakeUnitShell shell{&clock};
};

// ---- Ending the manager program ----

using StartUpManager = StartUpTest;

TEST_F(StartUpManager, NoManagerWindowCostsNothing) {
    EXPECT_EQ(CloseManagerProgram(shell, clock), "");
    EXPECT_EQ(elapsed(), 0u);
    EXPECT_EQ(Arguments(shell.calls("FindWindowByTitle")), (std::vector<std::string>{"DOZI"}));
    EXPECT_TRUE(shell.calls("TerminateProcess").empty());
}

TEST_F(StartUpManager, OnlyTheExactTitleIsTheManager) {
    for (const char* title : {"dozi", "DOZI ", "DOZ", "Manager"}) {
        shell.AddWindow({title, "", kManager, true});
    }
    shell.AddWindow({"", "DOZI", kManager, true});  // a class of that name is not the title
    shell.AddProcess(kManager, {{kManagerExe}});
    EXPECT_EQ(CloseManagerProgram(shell, clock), "");
    EXPECT_EQ(elapsed(), 0u);
    EXPECT_TRUE(shell.process_alive(kManager));
}

TEST_F(StartUpManager, ManagerThatDiesAtOnceCostsOneWait) {
    AddManager({kManagerExe});
    EXPECT_EQ(CloseManagerProgram(shell, clock), kManagerExe);
    EXPECT_EQ(elapsed(), 500u);
    EXPECT_EQ(Times(shell.calls("FindWindowByTitle")), (std::vector<std::uint32_t>{0, 500}));
    EXPECT_EQ(Arguments(shell.calls("TerminateProcess")), (std::vector<std::string>{"321"}));
    EXPECT_FALSE(shell.process_alive(kManager));
}

// A manager surviving k kills goes at poll 10k; every kill costs 500 ms, other polls 100 ms.
TEST_F(StartUpManager, CostGrowsWithTheKillsSurvived) {
    struct Case {
        int kills_survived;
        std::uint32_t elapsed_ms;
        std::size_t polls;
        std::size_t kills;
    };
    const Case cases[] = {
        {0, 500, 2, 1},
        {1, 1900, 12, 2},
        {2, 3300, 22, 3},
        {3, 4700, 32, 4},
        {4, 6100, 42, 5},
        {5, 7000, 50, 5},
        {FakeUnitShell::kNeverDies, 7000, 50, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kills_survived);
        VirtualClock case_clock{kStartMs};
        FakeUnitShell case_shell{&case_clock};
        case_shell.AddProcess(kManager, {{kManagerExe}, c.kills_survived});
        case_shell.AddWindow({kManagerWindowTitle, "", kManager, true});
        EXPECT_EQ(CloseManagerProgram(case_shell, case_clock), kManagerExe);
        EXPECT_EQ(case_clock.NowMs() - kStartMs, c.elapsed_ms);
        EXPECT_EQ(case_shell.calls("FindWindowByTitle").size(), c.polls);
        EXPECT_EQ(case_shell.calls("TerminateProcess").size(), c.kills);
    }
}

TEST_F(StartUpManager, ManagerThatWillNotGoAwayCostsTheFullSevenSeconds) {
    AddManager({"/m/0", "/m/10", "/m/20", "/m/30", "/m/40", "/m/never"}, FakeUnitShell::kNeverDies);
    // The path changes between reads: the one read in the last multiple-of-10 poll is kept.
    EXPECT_EQ(CloseManagerProgram(shell, clock), "/m/40");
    EXPECT_EQ(elapsed(), 7000u);
    EXPECT_EQ(Times(shell.calls("FindWindowByTitle")), PollTimes(50));
    EXPECT_EQ(Times(shell.calls("ProcessExecutable")),
              (std::vector<std::uint32_t>{0, 1400, 2800, 4200, 5600}));
    EXPECT_EQ(Times(shell.calls("TerminateProcess")),
              (std::vector<std::uint32_t>{0, 1400, 2800, 4200, 5600}));
    EXPECT_TRUE(shell.process_alive(kManager));
}

TEST_F(StartUpManager, FailedReadKeepsTheLastPathRead) {
    struct Case {
        std::vector<std::string> executables;
        std::string manager_path;
    };
    const Case cases[] = {
        {{"/a", "/b", "/c", "/d", "/e"}, "/e"},
        {{"/a", "/b", "/c", "/d", ""}, "/d"},
        {{"/a", "", "", "", ""}, "/a"},
        {{"", "/b", "", "", ""}, "/b"},
        {{"", "", "", "", ""}, ""},
        {{}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.executables));
        VirtualClock case_clock{kStartMs};
        FakeUnitShell case_shell{&case_clock};
        case_shell.AddProcess(kManager, {c.executables, FakeUnitShell::kNeverDies});
        case_shell.AddWindow({kManagerWindowTitle, "", kManager, true});
        EXPECT_EQ(CloseManagerProgram(case_shell, case_clock), c.manager_path);
        EXPECT_EQ(case_clock.NowMs() - kStartMs, 7000u);
    }
}

TEST_F(StartUpManager, WindowWithoutKnownOwnerIsWaitedOutWithoutKills) {
    shell.AddWindow({kManagerWindowTitle, "", std::nullopt, true});
    EXPECT_EQ(CloseManagerProgram(shell, clock), "");
    EXPECT_EQ(elapsed(), 7000u);
    EXPECT_TRUE(shell.calls("ProcessExecutable").empty());
    EXPECT_TRUE(shell.calls("TerminateProcess").empty());
}

TEST_F(StartUpManager, SecondManagerWindowIsEndedAtTheNextKillPoll) {
    AddManager({"/first"}, 0, 100);
    AddManager({"/second"}, 0, 200);
    EXPECT_EQ(CloseManagerProgram(shell, clock), "/second");
    EXPECT_EQ(elapsed(), 1900u);
    EXPECT_EQ(Arguments(shell.calls("TerminateProcess")), (std::vector<std::string>{"100", "200"}));
}

// ---- The task bar ----

using StartUpTaskBar = StartUpTest;

TEST_F(StartUpTaskBar, OnlyAVisibleTaskBarIsHiddenAndRemembered) {
    struct Case {
        const char* name;
        std::optional<bool> visible;  // none: no task bar
        bool hidden_by_us;
    };
    const Case cases[] = {
        {"no task bar", std::nullopt, false},
        {"hidden task bar", false, false},
        {"visible task bar", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeUnitShell case_shell;
        std::optional<WindowId> task_bar;
        if (c.visible) {
            task_bar = case_shell.AddWindow({"", kTaskBarWindowClass, 7, *c.visible});
        }
        const auto remembered = HideTaskBar(case_shell);
        EXPECT_EQ(remembered.has_value(), c.hidden_by_us);
        EXPECT_EQ(case_shell.calls("HideWindow").size(), c.hidden_by_us ? 1u : 0u);
        if (c.hidden_by_us) {
            EXPECT_EQ(remembered, task_bar);
            EXPECT_FALSE(case_shell.window(*task_bar)->visible);
        }
        EXPECT_EQ(Arguments(case_shell.calls("FindWindowByClass")),
                  (std::vector<std::string>{"HHTaskBar"}));
    }
}

TEST_F(StartUpTaskBar, VisibleTaskBarIsHiddenWhileTheToolRunsAndRestoredAfterQuit) {
    const WindowId task_bar = shell.AddWindow({"", kTaskBarWindowClass, 7, true});
    const StartUpResult result = MakeRoomForTool(shell, clock);
    EXPECT_EQ(result.hidden_task_bar, task_bar);
    EXPECT_FALSE(shell.window(task_bar)->visible);

    ShowHiddenTaskBar(shell);  // Quit
    EXPECT_TRUE(shell.window(task_bar)->visible);
    RestoreTaskBar(shell, result.hidden_task_bar);  // after the dialog
    EXPECT_TRUE(shell.window(task_bar)->visible);
    EXPECT_EQ(shell.calls("ShowWindow").size(), 2u);
}

TEST_F(StartUpTaskBar, TaskBarHiddenBeforeStartIsShownByQuitOnly) {
    const WindowId task_bar = shell.AddWindow({"", kTaskBarWindowClass, 7, false});
    const StartUpResult result = MakeRoomForTool(shell, clock);
    EXPECT_EQ(result.hidden_task_bar, std::nullopt);
    EXPECT_FALSE(shell.window(task_bar)->visible);

    RestoreTaskBar(shell, result.hidden_task_bar);
    EXPECT_TRUE(shell.calls("ShowWindow").empty());
    ShowHiddenTaskBar(shell);
    EXPECT_TRUE(shell.window(task_bar)->visible);
    EXPECT_EQ(Arguments(shell.calls("ShowWindow")),
              (std::vector<std::string>{std::to_string(task_bar)}));
}

TEST_F(StartUpTaskBar, QuitLeavesAVisibleTaskBarAlone) {
    shell.AddWindow({"", kTaskBarWindowClass, 7, true});
    ShowHiddenTaskBar(shell);
    EXPECT_TRUE(shell.calls("ShowWindow").empty());
}

TEST_F(StartUpTaskBar, NoTaskBarMeansNothingToShow) {
    const StartUpResult result = MakeRoomForTool(shell, clock);
    ShowHiddenTaskBar(shell);
    RestoreTaskBar(shell, result.hidden_task_bar);
    EXPECT_TRUE(shell.calls("HideWindow").empty());
    EXPECT_TRUE(shell.calls("ShowWindow").empty());
}

TEST_F(StartUpTaskBar, RememberedTaskBarIsShownEvenIfQuitCannotFindIt) {
    const WindowId task_bar = shell.AddWindow({"", kTaskBarWindowClass, 7, true});
    const StartUpResult result = MakeRoomForTool(shell, clock);
    shell.CloseWindow(task_bar);
    ShowHiddenTaskBar(shell);
    RestoreTaskBar(shell, result.hidden_task_bar);
    EXPECT_EQ(Arguments(shell.calls("ShowWindow")),
              (std::vector<std::string>{std::to_string(task_bar)}));
}

// ---- The whole start-up ----

TEST_F(StartUpTest, StartsTheShellEndsTheManagerThenHidesTheTaskBar) {
    AddManager({kManagerExe});
    const WindowId task_bar = shell.AddWindow({"", kTaskBarWindowClass, 7, true});
    const StartUpResult result = MakeRoomForTool(shell, clock);
    EXPECT_EQ(result.manager_path, kManagerExe);
    EXPECT_EQ(result.hidden_task_bar, task_bar);

    std::vector<std::string> order;
    for (const auto& call : shell.calls()) {
        if (order.empty() || order.back() != call.operation) {
            order.push_back(call.operation);
        }
    }
    EXPECT_EQ(order, (std::vector<std::string>{"StartShell", "FindWindowByTitle", "WindowProcess",
                                               "ProcessExecutable", "TerminateProcess",
                                               "FindWindowByTitle", "FindWindowByClass",
                                               "IsWindowVisible", "HideWindow"}));
    EXPECT_EQ(shell.calls("StartShell").size(), 1u);
    // The task bar is hidden only once the manager's waits are over.
    EXPECT_EQ(Times(shell.calls("HideWindow")), (std::vector<std::uint32_t>{500}));
}

}  // namespace
}  // namespace velkor
