// Another program run by a test with its standard output and error captured, always ended by
// the time the test ends.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace velkor::testing {

class ChildProcess {
  public:
    using Clock = std::chrono::steady_clock;

    // Starts the program at the path args[0]; check started().
    explicit ChildProcess(const std::vector<std::string>& args) {
        int out[2] = {-1, -1};
        int err[2] = {-1, -1};
        if (::pipe(out) != 0 || ::pipe(err) != 0) {
            return;
        }
        // Kept from any other program started meanwhile; dup2 clears the flag in the child.
        for (int fd : {out[0], out[1], err[0], err[1]}) {
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        ::posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        for (int fd : {out[0], out[1], err[0], err[1]}) {
            ::posix_spawn_file_actions_addclose(&actions, fd);
        }
        std::vector<char*> argv;
        for (const auto& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        ::posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        out_fd_ = out[0];
        err_fd_ = err[0];
    }

    ~ChildProcess() {
        if (running()) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        for (int fd : {out_fd_, err_fd_}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    int pid() const { return pid_; }
    bool running() const { return pid_ > 0 && !exit_status_; }

    // The first line of standard output not yet taken, without its line end; empty when none
    // came within `timeout`.
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            if (const auto end = out_.find('\n', out_taken_); end != std::string::npos) {
                std::string line = out_.substr(out_taken_, end - out_taken_);
                out_taken_ = end + 1;
                return line;
            }
            if (Clock::now() >= deadline || !Pump(deadline)) {
                return std::nullopt;
            }
        }
    }

    void Signal(int signal_number) {
        if (running()) {
            ::kill(pid_, signal_number);
        }
    }

    // The exit status once the program has ended and closed its output (128 + n after signal
    // n), or empty after `timeout`, when the program is killed.
    std::optional<int> Wait(std::chrono::milliseconds timeout) {
        if (!started()) {
            return std::nullopt;
        }
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline) {
            const bool output_open = Pump(deadline);
            Reap();
            if (exit_status_ && !output_open) {
                return exit_status_;
            }
        }
        ::kill(pid_, SIGKILL);
        return std::nullopt;
    }

    // Whether the program ends within `timeout`; it is left running either way.
    bool EndsWithin(std::chrono::milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        do {
            Pump(deadline);
            Reap();
        } while (!exit_status_ && Clock::now() < deadline);
        return exit_status_.has_value();
    }

    // Whether standard error shows `text` after its first `from` characters within `timeout`.
    bool ErrShows(const std::string& text, std::size_t from, std::chrono::milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        while (err_.find(text, from) == std::string::npos) {
            if (Clock::now() >= deadline || !Pump(deadline)) {
                return false;
            }
        }
        return true;
    }

    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }

  private:
    // Reads whatever either stream has, waiting at most until `deadline` (and 20 ms at most,
    // so that the caller can look at the process). False once both streams are closed.
    bool Pump(Clock::time_point deadline) {
        pollfd entries[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
        if (out_fd_ < 0 && err_fd_ < 0) {
            return false;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        const int wait_ms = static_cast<int>(std::clamp<long long>(left.count(), 0, 20));
        if (::poll(entries, 2, wait_ms) <= 0) {
            return true;
        }
        Drain(entries[0], out_fd_, out_);
        Drain(entries[1], err_fd_, err_);
        return out_fd_ >= 0 || err_fd_ >= 0;
    }

    static void Drain(const pollfd& entry, int& fd, std::string& text) {
        if (fd < 0 || entry.revents == 0) {
            return;
        }
        char buffer[4096];
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count > 0) {
            text.append(buffer, static_cast<std::size_t>(count));
        } else {
            ::close(fd);
            fd = -1;
        }
    }

    void Reap() {
        int status = 0;
        if (exit_status_ || ::waitpid(pid_, &status, WNOHANG) != pid_) {
            return;
        }
        exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    pid_t pid_ = -1;
    int out_fd_ = -1;
    int err_fd_ = -1;
    std::string out_;
    std::size_t out_taken_ = 0;
    std::string err_;
    std::optional<int> exit_status_;
};

}  // namespace velkor::testing
