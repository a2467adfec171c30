#include "platform/process_control.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <thread>

extern char** environ;

namespace velkor {
namespace {

// Frees what a spawn's attributes and file actions hold, on every way out.
struct SpawnSetup {
    SpawnSetup() {
        ::posix_spawnattr_init(&attributes);
        ::posix_spawn_file_actions_init(&actions);
    }
    ~SpawnSetup() {
        ::posix_spawn_file_actions_destroy(&actions);
        ::posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t actions;
};

}  // namespace

bool StartDetached(const std::string& program) {
    if (program.empty()) {
        return false;
    }
    SpawnSetup setup;
    sigset_t no_signals;
    sigemptyset(&no_signals);
    // Its own session, so that it outlives the tool; input stays with the tool, output goes
    // where the tool's goes.
    ::posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    ::posix_spawnattr_setsigmask(&setup.attributes, &no_signals);
    ::posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    pid_t started = 0;
    // Searches PATH (unless the name holds a slash) and reports a failed exec.
    if (::posix_spawnp(&started, program.c_str(), &setup.actions, &setup.attributes, argv,
                       environ) != 0) {
        return false;
    }
    // Nobody waits for it to end, but its end must not leave a zombie behind.
    std::thread([started] {
        while (::waitpid(started, nullptr, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

std::string ExecutablePath(int process) {
    if (process <= 0) {
        return {};
    }
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/" + std::to_string(process) + "/exe", error);
    return error ? std::string() : path.string();
}

bool KillProcess(int process) {
    if (process <= 0 || process == ::getpid()) {
        return false;
    }
    return ::kill(process, SIGKILL) == 0;
}

}  // namespace velkor
