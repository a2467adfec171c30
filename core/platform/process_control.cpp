#include "platform/process_control.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>
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

// The program's file: as named when the name holds a slash, otherwise the first regular,
// executable file of that name in an absolute PATH entry. An empty or relative entry would
// mean the current folder, where anyone may have put a program of that name.
std::string FindProgram(const std::string& program) {
    if (program.find('/') != std::string::npos) {
        return program;
    }
    const char* search = std::getenv("PATH");
    std::string_view entries = search != nullptr ? search : "";
    while (!entries.empty()) {
        const std::size_t colon = entries.find(':');
        const std::string_view entry = entries.substr(0, colon);
        entries = colon == std::string_view::npos ? std::string_view() : entries.substr(colon + 1);
        if (entry.empty() || entry.front() != '/') {
            continue;
        }
        std::string candidate(entry);
        candidate += '/';
        candidate += program;
        struct stat info {};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

}  // namespace

bool StartDetached(const std::string& program) {
    const std::string file = program.empty() ? std::string() : FindProgram(program);
    if (file.empty()) {
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
    // Reports a failed exec.
    if (::posix_spawn(&started, file.c_str(), &setup.actions, &setup.attributes, argv, environ) !=
        0) {
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

std::optional<uid_t> ProcessUser(int process) {
    if (process <= 0) {
        return std::nullopt;
    }
    std::ifstream status("/proc/" + std::to_string(process) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        // "Uid:" then the real, effective, saved and file-system user ids.
        if (line.starts_with("Uid:")) {
            unsigned long real = 0;
            unsigned long effective = 0;
            if (std::sscanf(line.c_str() + 4, "%lu %lu", &real, &effective) != 2 ||
                real != effective) {
                return std::nullopt;  // a set-user-id program: neither one user nor the other
            }
            return static_cast<uid_t>(real);
        }
    }
    return std::nullopt;
}

bool KillProcess(int process) {
    if (process <= 0 || process == ::getpid()) {
        return false;
    }
    return ::kill(process, SIGKILL) == 0;
}

}  // namespace velkor
