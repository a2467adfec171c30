#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "platform/process_control.h"
#include "platform/unit_shell.h"
#include "support/scoped_variable.h"
#include "support/sleeper.h"
#include "support/temp_dir.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using testing::ScopedVariable;
using testing::Sleeper;
using testing::TempDir;

std::string WriteFile(const TempDir& dir, const std::string& name, const std::string& content,
                      mode_t mode) {
    const std::string path = dir.Write(name, content);
    ::chmod(path.c_str(), mode);
    return path;
}

// Fields of /proc/PID/stat after the command name: state, parent, group, session.
struct ProcStat {
    char state = '?';
    int parent = 0;
    int group = 0;
    int session = 0;
};

std::optional<ProcStat> ReadProcStat(int process) {
    const std::string text = TempDir::Read("/proc/" + std::to_string(process) + "/stat");
    const auto name_end = text.rfind(')');
    if (name_end == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream fields(text.substr(name_end + 1));
    ProcStat stat;
    fields >> stat.state >> stat.parent >> stat.group >> stat.session;
    return fields ? std::optional(stat) : std::nullopt;
}

// The first line of the file once something has written it; empty after a generous deadline.
std::string WaitForLine(const std::filesystem::path& file) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream in(file);
        std::string line;
        if (std::getline(in, line) && in) {
            return line;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
}

// ---- Starting the shell ----

TEST(ShellProcessStart, ProgramFromThePathRunsDetachedFromTheTool) {
    TempDir dir;
    const auto marker = dir.path() / "started";
    WriteFile(dir, kShellProgram,
              "#!/bin/sh\necho $$ > '" + marker.string() + ".tmp'\nmv '" + marker.string() +
                  ".tmp' '" + marker.string() + "'\nexec sleep 30\n",
              0755);
    {
        ScopedVariable path("PATH",
                            ("/nonexistent:" + dir.path().string() + ":/usr/bin:/bin").c_str());
        ASSERT_TRUE(StartDetached(kShellProgram));
    }
    const std::string line = WaitForLine(marker);
    ASSERT_FALSE(line.empty());
    const int shell = std::stoi(line);
    const auto stat = ReadProcStat(shell);
    ASSERT_TRUE(stat);
    EXPECT_EQ(stat->session, shell) << "a session of its own";
    EXPECT_TRUE(KillProcess(shell));
    // Its end leaves no zombie with us.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::filesystem::exists("/proc/" + std::to_string(shell)) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(shell)));
}

TEST(ShellProcessStart, PathSearchSkipsWhatCannotBeRun) {
    TempDir dir;
    WriteFile(dir, std::string("plain/") + kShellProgram, "#!/bin/sh\nexit 0\n", 0644);
    WriteFile(dir, std::string("good/") + kShellProgram, "#!/bin/sh\nexit 0\n", 0755);
    std::filesystem::create_directories(dir.path() / "folder" / kShellProgram);
    const std::string plain = (dir.path() / "plain").string();
    const std::string good = (dir.path() / "good").string();
    const std::string folder = (dir.path() / "folder").string();
    struct Case {
        std::string path;
        bool started;
    };
    const Case cases[] = {
        {good, true},
        {"/nonexistent:" + good, true},
        {plain + ":" + folder + ":" + good, true},
        {plain, false},
        {folder, false},
        {"/nonexistent", false},
        {"", false},
        // Empty and relative entries would mean the current folder, where the good one is.
        {":", false},
        {"/nonexistent::", false},
        {".", false},
        {"../good", false},
    };
    const fs::path was = fs::current_path();
    fs::current_path(good);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        ScopedVariable path("PATH", c.path.c_str());
        EXPECT_EQ(StartDetached(kShellProgram), c.started);
    }
    fs::current_path(was);
}

TEST(ShellProcessStart, FailedExecIsReported) {
    TempDir dir;
    // Executable, but neither a binary nor a script with an interpreter line.
    WriteFile(dir, kShellProgram, std::string("\x7f\x01garbage", 9), 0755);
    ScopedVariable path("PATH", dir.path().c_str());
    EXPECT_FALSE(StartDetached(kShellProgram));
}

TEST(ShellProcessStart, PathWithASlashIsTakenAsIs) {
    EXPECT_TRUE(StartDetached("/bin/true"));
    EXPECT_FALSE(StartDetached("/nonexistent/" + std::string(kShellProgram)));
    EXPECT_FALSE(StartDetached(""));
}

// ---- Inspecting and ending processes ----

TEST(ShellProcess, ExecutablePathIsTheResolvedFile) {
    Sleeper sleeper;
    ASSERT_TRUE(sleeper.started());
    EXPECT_EQ(ExecutablePath(sleeper.pid()), std::filesystem::canonical(sleeper.program()));
    EXPECT_EQ(ExecutablePath(::getpid()), std::filesystem::read_symlink("/proc/self/exe"));
}

TEST(ShellProcess, ExecutablePathOfNoProcessIsEmpty) {
    Sleeper gone;
    ASSERT_TRUE(gone.started());
    ::kill(gone.pid(), SIGKILL);
    gone.WaitForSignal();
    for (const int process : {0, -1, static_cast<int>(gone.pid())}) {
        SCOPED_TRACE(process);
        EXPECT_EQ(ExecutablePath(process), "");
    }
}

TEST(ShellProcess, KillEndsTheProcess) {
    Sleeper sleeper;
    ASSERT_TRUE(sleeper.started());
    EXPECT_TRUE(KillProcess(sleeper.pid()));
    EXPECT_EQ(sleeper.WaitForSignal(), SIGKILL);
    EXPECT_FALSE(KillProcess(sleeper.pid()));  // reaped: no such process any more
}

TEST(ShellProcess, KillRefusesTheToolItself) {
    EXPECT_FALSE(KillProcess(::getpid()));
}

// 0 and negative ids would signal whole groups. Tried in a child that leads a group of its
// own, so that a fault kills only that child. (-1, every process, takes the same branch.)
TEST(ShellProcess, KillRefusesGroupIds) {
    for (const bool own_group : {true, false}) {
        SCOPED_TRACE(own_group ? "id 0" : "minus own group");
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::setpgid(0, 0);
            const bool killed = KillProcess(own_group ? 0 : -::getpid());
            ::_exit(killed ? 1 : 0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }
}

}  // namespace
}  // namespace velkor
