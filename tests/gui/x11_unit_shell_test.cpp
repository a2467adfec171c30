// The X11 unit shell against a private Xvfb server, with windows made by the test.
#include "gui/x11_unit_shell.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

// After GoogleTest: Xlib's macros (None, Bool, Status) would break its templates.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "platform/clock.h"
#include "platform/process_control.h"
#include "session/start_up.h"
#include "support/child_process.h"
#include "support/scoped_variable.h"
#include "support/sleeper.h"

namespace velkor {
namespace {

using testing::ChildProcess;
using testing::ScopedVariable;
using testing::Sleeper;
using namespace std::chrono_literals;

std::string FindOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string_view search = path != nullptr ? path : "/usr/bin:/bin";
    while (!search.empty()) {
        const auto colon = search.find(':');
        const auto candidate = std::filesystem::path(search.substr(0, colon)) / program;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate.string();
        }
        search.remove_prefix(colon == std::string_view::npos ? search.size() : colon + 1);
    }
    return {};
}

// Xvfb on a display number it picks itself (-displayfd), ended with the test.
class VirtualXServer {
  public:
    explicit VirtualXServer(const std::string& program)
        // -terminate: it ends with its last client, should the test process die first.
        : server_({program, "-displayfd", "1", "-nolisten", "tcp", "-terminate", "-screen", "0",
                   "800x480x24"}) {
        if (const auto number = server_.ReadLine(30s); number && !number->empty()) {
            display_ = ":" + *number;
        }
    }
    ~VirtualXServer() {
        server_.Signal(SIGTERM);  // lets it remove its lock file and socket
        server_.Wait(10s);
    }
    VirtualXServer(const VirtualXServer&) = delete;
    VirtualXServer& operator=(const VirtualXServer&) = delete;

    const std::string& display() const { return display_; }
    std::string log() const { return server_.err(); }

  private:
    ChildProcess server_;
    std::string display_;
};

// A window to create, named the way its properties are set.
struct WindowSetup {
    WindowSetup& WmName(std::string name) {  // STRING, Latin-1 bytes
        wm_name = std::move(name);
        return *this;
    }
    WindowSetup& NetWmName(std::string name) {  // UTF8_STRING
        net_wm_name = std::move(name);
        return *this;
    }
    WindowSetup& Class(std::string instance_part, std::string class_part) {  // WM_CLASS
        instance = std::move(instance_part);
        class_name = std::move(class_part);
        return *this;
    }
    WindowSetup& Pid(std::optional<long> value) {  // _NET_WM_PID
        pid = value;
        return *this;
    }
    WindowSetup& Unmapped() {
        mapped = false;
        return *this;
    }

    std::optional<std::string> wm_name;
    std::optional<std::string> net_wm_name;
    std::optional<std::string> instance;
    std::optional<std::string> class_name;
    std::optional<long> pid;
    bool mapped = true;
};

class X11UnitShellTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string xvfb = FindOnPath("Xvfb");
        if (xvfb.empty()) {
            GTEST_SKIP() << "Xvfb is not installed";
        }
        server_ = std::make_unique<VirtualXServer>(xvfb);
        ASSERT_FALSE(server_->display().empty()) << server_->log();
        display_ = XOpenDisplay(server_->display().c_str());
        ASSERT_NE(display_, nullptr);
        shell_ = std::make_unique<X11UnitShell>(server_->display());
        ASSERT_TRUE(shell_->connected());
    }
    void TearDown() override {
        shell_.reset();
        if (display_ != nullptr) {
            XCloseDisplay(display_);
        }
        server_.reset();
    }

    Window Root() const { return DefaultRootWindow(display_); }

    Window Create(const WindowSetup& setup, std::optional<Window> parent = std::nullopt) {
        const Window window =
            XCreateSimpleWindow(display_, parent.value_or(Root()), 0, 0, 100, 50, 0, 0, 0);
        if (setup.wm_name) {
            SetProperty(window, XA_WM_NAME, XA_STRING, *setup.wm_name);
        }
        if (setup.net_wm_name) {
            SetProperty(window, Intern("_NET_WM_NAME"), Intern("UTF8_STRING"), *setup.net_wm_name);
        }
        if (setup.instance || setup.class_name) {
            std::string instance = setup.instance.value_or("");
            std::string class_name = setup.class_name.value_or("");
            XClassHint hint{instance.data(), class_name.data()};
            XSetClassHint(display_, window, &hint);
        }
        if (setup.pid) {
            long value = *setup.pid;
            XChangeProperty(display_, window, Intern("_NET_WM_PID"), XA_CARDINAL, 32,
                            PropModeReplace, reinterpret_cast<unsigned char*>(&value), 1);
        }
        if (setup.mapped) {
            XMapWindow(display_, window);
        }
        XSync(display_, False);
        return window;
    }

    void Destroy(Window window) {
        XDestroyWindow(display_, window);
        XSync(display_, False);
    }

    Atom Intern(const char* name) { return XInternAtom(display_, name, False); }

    void SetProperty(Window window, Atom name, Atom type, const std::string& bytes) {
        XChangeProperty(display_, window, name, type, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(bytes.data()),
                        static_cast<int>(bytes.size()));
    }

    X11UnitShell& shell() { return *shell_; }

    std::unique_ptr<VirtualXServer> server_;
    Display* display_ = nullptr;
    std::unique_ptr<X11UnitShell> shell_;
};

// ---- Finding windows ----

using X11FindWindow = X11UnitShellTest;

TEST_F(X11FindWindow, TitleFromNetWmNameElseWmName) {
    constexpr char kGrosse[] = "Gr\u00f6\u00dfe";  // UTF-8
    struct Case {
        const char* name;
        WindowSetup setup;
        std::string title;
        bool found;
    };
    const Case cases[] = {
        {"WM_NAME", WindowSetup().WmName("DOZI"), "DOZI", true},
        {"_NET_WM_NAME", WindowSetup().NetWmName("DOZI"), "DOZI", true},
        {"_NET_WM_NAME first", WindowSetup().WmName("Other").NetWmName("DOZI"), "DOZI", true},
        {"WM_NAME overridden", WindowSetup().WmName("DOZI").NetWmName("Other"), "DOZI", false},
        {"other case", WindowSetup().WmName("dozi"), "DOZI", false},
        {"longer", WindowSetup().WmName("DOZI "), "DOZI", false},
        {"prefix", WindowSetup().WmName("DOZ"), "DOZI", false},
        {"no name", WindowSetup(), "DOZI", false},
        {"class only", WindowSetup().Class("DOZI", "DOZI"), "DOZI", false},
        {"unmapped", WindowSetup().WmName("DOZI").Unmapped(), "DOZI", true},
        {"UTF-8 name", WindowSetup().NetWmName(kGrosse), kGrosse, true},
        {"Latin-1 name", WindowSetup().WmName("Gr\xf6\xdf\x65"), kGrosse, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Window window = Create(c.setup);
        const auto found = shell().FindWindowByTitle(c.title);
        if (c.found) {
            EXPECT_EQ(found, window);
        } else {
            EXPECT_EQ(found, std::nullopt);
        }
        Destroy(window);
    }
}

TEST_F(X11FindWindow, ClassIsTheClassPartOfWmClass) {
    struct Case {
        const char* name;
        WindowSetup setup;
        bool found;
    };
    const Case cases[] = {
        {"class", WindowSetup().Class("hhtaskbar", "HHTaskBar"), true},
        {"instance only", WindowSetup().Class("HHTaskBar", "Other"), false},
        {"title only", WindowSetup().WmName("HHTaskBar"), false},
        {"other case", WindowSetup().Class("x", "hhtaskbar"), false},
        {"hidden", WindowSetup().Class("x", "HHTaskBar").Unmapped(), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Window window = Create(c.setup);
        const auto found = shell().FindWindowByClass(kTaskBarWindowClass);
        if (c.found) {
            EXPECT_EQ(found, window);
        } else {
            EXPECT_EQ(found, std::nullopt);
        }
        Destroy(window);
    }
}

// Reparenting window managers put each client into a frame, a child of the root.
TEST_F(X11FindWindow, ClientsInFramesAreFoundButNothingDeeper) {
    const Window frame = Create(WindowSetup());
    const Window client = Create(WindowSetup().WmName("DOZI").Class("", "HHTaskBar"), frame);
    EXPECT_EQ(shell().FindWindowByTitle("DOZI"), client);
    EXPECT_EQ(shell().FindWindowByClass("HHTaskBar"), client);

    const Window inner = Create({}, client);
    const Window deep = Create(WindowSetup().WmName("Deep").Class("", "Deep"), inner);
    (void)deep;
    EXPECT_EQ(shell().FindWindowByTitle("Deep"), std::nullopt);
    EXPECT_EQ(shell().FindWindowByClass("Deep"), std::nullopt);
}

TEST_F(X11FindWindow, TopmostMatchWins) {
    const Window lower = Create(WindowSetup().WmName("DOZI"));
    const Window upper = Create(WindowSetup().WmName("DOZI"));
    EXPECT_EQ(shell().FindWindowByTitle("DOZI"), upper);
    XRaiseWindow(display_, lower);
    XSync(display_, False);
    EXPECT_EQ(shell().FindWindowByTitle("DOZI"), lower);
}

// ---- The owner process ----

using X11WindowProcess = X11UnitShellTest;

TEST_F(X11WindowProcess, OwnerIsFoundReadAndEnded) {
    Sleeper manager;
    ASSERT_TRUE(manager.started());
    Create(WindowSetup().WmName("DOZI").Pid(manager.pid()));
    const auto window = shell().FindWindowByTitle("DOZI");
    ASSERT_TRUE(window);
    const auto process = shell().WindowProcess(*window);
    ASSERT_EQ(process, manager.pid());
    EXPECT_EQ(shell().ProcessExecutable(*process), std::filesystem::canonical(manager.program()));
    EXPECT_TRUE(shell().TerminateProcess(*process));
    EXPECT_EQ(manager.WaitForSignal(), SIGKILL);
}

// A window may name any process; the tool, run as root, must not end another user's.
TEST_F(X11WindowProcess, AnotherUsersProcessIsLeftRunning) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "a process of another user needs root to start";
    }
    const pid_t other = ::fork();
    if (other == 0) {
        if (::setgid(65534) == 0 && ::setuid(65534) == 0) {
            ::execl("/bin/sleep", "sleep", "60", static_cast<char*>(nullptr));
        }
        ::_exit(127);
    }
    ASSERT_GT(other, 0);
    // Until the child has dropped root, it still counts as ours.
    for (int i = 0; i < 1000 && ProcessUser(other) != uid_t{65534}; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_EQ(ProcessUser(other), uid_t{65534});
    EXPECT_FALSE(shell().TerminateProcess(other));
    EXPECT_EQ(::kill(other, 0), 0) << "still running";
    ::kill(other, SIGKILL);
    ::waitpid(other, nullptr, 0);
}

TEST_F(X11WindowProcess, MissingOrBogusPidTellsNoOwner) {
    struct Case {
        const char* name;
        std::optional<long> pid;
    };
    const Case cases[] = {
        {"none", std::nullopt}, {"zero", 0L}, {"negative", -5L}, {"beyond a pid", 0x100000000L}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Window window = Create(WindowSetup().WmName("DOZI").Pid(c.pid));
        EXPECT_EQ(shell().WindowProcess(window), std::nullopt);
        Destroy(window);
    }
}

// ---- Showing and hiding ----

using X11Visibility = X11UnitShellTest;

TEST_F(X11Visibility, HideAndShowFollowTheMapState) {
    const Window task_bar = Create(WindowSetup().Class("", "HHTaskBar"));
    EXPECT_TRUE(shell().IsWindowVisible(task_bar));
    shell().HideWindow(task_bar);
    EXPECT_FALSE(shell().IsWindowVisible(task_bar));
    shell().ShowWindow(task_bar);
    EXPECT_TRUE(shell().IsWindowVisible(task_bar));
}

TEST_F(X11Visibility, UnmappedOrUnderAnUnmappedParentIsNotVisible) {
    EXPECT_FALSE(shell().IsWindowVisible(Create(WindowSetup().Unmapped())));
    const Window parent = Create(WindowSetup().Unmapped());
    const Window child = Create({}, parent);
    EXPECT_FALSE(shell().IsWindowVisible(child));
    shell().ShowWindow(parent);
    EXPECT_TRUE(shell().IsWindowVisible(child));
}

// Xlib's default error handler would end the process on the first BadWindow.
TEST_F(X11Visibility, VanishedWindowIsHarmless) {
    const Window window = Create(WindowSetup().WmName("DOZI").Class("", "HHTaskBar").Pid(1234));
    Destroy(window);
    EXPECT_FALSE(shell().IsWindowVisible(window));
    EXPECT_EQ(shell().WindowProcess(window), std::nullopt);
    shell().HideWindow(window);
    shell().ShowWindow(window);
    EXPECT_EQ(shell().FindWindowByTitle("DOZI"), std::nullopt);
    const Window next = Create(WindowSetup().WmName("DOZI"));
    EXPECT_EQ(shell().FindWindowByTitle("DOZI"), next);
}

// ---- Start-up on a real display, virtual time ----

TEST_F(X11UnitShellTest, StartUpEndsTheManagerAndHidesTheTaskBar) {
    Sleeper manager;
    ASSERT_TRUE(manager.started());
    const std::string manager_exe = std::filesystem::canonical(manager.program());
    // The window stays: its connection is the test's, not the killed process's.
    Create(WindowSetup().WmName("DOZI").Pid(manager.pid()));
    const Window task_bar = Create(WindowSetup().Class("taskbar", "HHTaskBar"));

    VirtualClock clock;
    const ScopedVariable path("PATH", "/nonexistent");  // no shell to start here
    const StartUpResult result = MakeRoomForTool(shell(), clock);
    // Later reads fail on the dead process, so the first one's path is kept.
    EXPECT_EQ(result.manager_path, manager_exe);
    EXPECT_EQ(clock.NowMs(), 7000u);
    EXPECT_EQ(manager.WaitForSignal(), SIGKILL);
    EXPECT_EQ(result.hidden_task_bar, task_bar);
    EXPECT_FALSE(shell().IsWindowVisible(task_bar));

    ShowHiddenTaskBar(shell());
    RestoreTaskBar(shell(), result.hidden_task_bar);
    EXPECT_TRUE(shell().IsWindowVisible(task_bar));
}

// ---- Without a display ----

TEST(X11NoDisplay, NothingIsFoundAndNothingFails) {
    const ScopedVariable display("DISPLAY", nullptr);
    X11UnitShell shell;
    EXPECT_FALSE(shell.connected());
    EXPECT_EQ(shell.FindWindowByTitle(kManagerWindowTitle), std::nullopt);
    EXPECT_EQ(shell.FindWindowByClass(kTaskBarWindowClass), std::nullopt);
    EXPECT_EQ(shell.WindowProcess(0x400001), std::nullopt);
    EXPECT_FALSE(shell.IsWindowVisible(0x400001));
    shell.HideWindow(0x400001);
    shell.ShowWindow(0x400001);

    VirtualClock clock;
    const StartUpResult result = MakeRoomForTool(shell, clock);
    EXPECT_EQ(result.manager_path, "");
    EXPECT_EQ(result.hidden_task_bar, std::nullopt);
    EXPECT_EQ(clock.NowMs(), 0u);
}

}  // namespace
}  // namespace velkor
