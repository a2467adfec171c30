#include "platform/process_control.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string_view>

namespace velkor {
namespace {

// What execvp searches when PATH is unset.
constexpr std::string_view kDefaultSearchPath = "/bin:/usr/bin";

bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// Resolved before forking: after fork only async-signal-safe calls are allowed, and the tool
// may have other threads.
std::optional<std::string> FindProgram(const std::string& program) {
    if (program.empty()) {
        return std::nullopt;
    }
    if (program.find('/') != std::string::npos) {
        return IsExecutableFile(program) ? std::optional(program) : std::nullopt;
    }
    const char* variable = std::getenv("PATH");
    std::string_view search = variable != nullptr ? variable : kDefaultSearchPath;
    for (;;) {
        const auto colon = search.find(':');
        const std::string_view folder = search.substr(0, colon);
        // An empty entry means the current folder.
        std::string candidate = folder.empty() ? program : std::string(folder) + "/" + program;
        if (IsExecutableFile(candidate)) {
            return candidate;
        }
        if (colon == std::string_view::npos) {
            return std::nullopt;
        }
        search.remove_prefix(colon + 1);
    }
}

void WriteAll(int fd, const void* data, std::size_t size) {
    while (::write(fd, data, size) < 0 && errno == EINTR) {
    }
}

}  // namespace

bool StartDetached(const std::string& program) {
    const auto file = FindProgram(program);
    if (!file) {
        return false;
    }
    // Reports a failed exec; closed by a successful one.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        return false;
    }
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    sigset_t no_signals;
    sigemptyset(&no_signals);

    // Double fork: the intermediate child ends at once and is reaped here, so the program is
    // adopted by init (or a subreaper), which reaps it in turn.
    const pid_t intermediate = ::fork();
    if (intermediate == 0) {
        const pid_t started = ::fork();
        if (started == 0) {
            ::setsid();
            // Input stays with the tool; output still goes where the tool's goes.
            const int nothing = ::open("/dev/null", O_RDONLY);
            if (nothing > 0) {
                ::dup2(nothing, STDIN_FILENO);
                ::close(nothing);
            }
            ::sigprocmask(SIG_SETMASK, &no_signals, nullptr);
            ::execv(file->c_str(), argv);
            const int error = errno;
            WriteAll(report[1], &error, sizeof error);
            ::_exit(127);
        }
        if (started < 0) {
            const int error = errno;
            WriteAll(report[1], &error, sizeof error);
        }
        ::_exit(0);
    }
    ::close(report[1]);
    if (intermediate < 0) {
        ::close(report[0]);
        return false;
    }
    while (::waitpid(intermediate, nullptr, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t count;
    while ((count = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    return count == 0;
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
