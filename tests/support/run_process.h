// Runs another program for a test, without a shell in between.
#pragma once

#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <vector>

extern char** environ;

namespace velkor::testing {

// Runs `args` (the program is looked up on PATH) and returns its exit status, or -1 when it
// could not be started or did not exit normally.
inline int RunProcess(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

// True when `program` can be found on PATH.
inline bool HaveProgram(const std::string& program) {
    return RunProcess({"sh", "-c", "command -v " + program + " >/dev/null"}) == 0;
}

}  // namespace velkor::testing
