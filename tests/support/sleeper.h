// A `sleep` process that a test owns by id: something to look up, inspect and kill.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <string>

extern char** environ;

namespace velkor::testing {

class Sleeper {
  public:
    Sleeper() {
        for (const char* path : {"/usr/bin/sleep", "/bin/sleep"}) {
            if (::access(path, X_OK) == 0) {
                program_ = path;
                break;
            }
        }
        char* argv[] = {const_cast<char*>(program_.c_str()), const_cast<char*>("60"), nullptr};
        // glibc returns once the program runs, so /proc shows it at once.
        if (program_.empty() ||
            ::posix_spawn(&pid_, program_.c_str(), nullptr, nullptr, argv, environ) != 0) {
            pid_ = -1;
        }
    }
    ~Sleeper() {
        if (pid_ > 0 && !status_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Sleeper(const Sleeper&) = delete;
    Sleeper& operator=(const Sleeper&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // The path it was started from.
    const std::string& program() const { return program_; }

    // The signal that ended it, waiting for its end; 0 when it exited normally.
    int WaitForSignal() {
        if (!status_) {
            int status = 0;
            if (::waitpid(pid_, &status, 0) != pid_) {
                return -1;
            }
            status_ = status;
        }
        return WIFSIGNALED(*status_) ? WTERMSIG(*status_) : 0;
    }

  private:
    std::string program_;
    pid_t pid_ = -1;
    std::optional<int> status_;
};

}  // namespace velkor::testing
