#include "sim/stop_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <thread>

namespace velkor::sim {

StopSignals::StopSignals() {
    sigset_t stop_set;
    sigemptyset(&stop_set);
    sigaddset(&stop_set, SIGINT);
    sigaddset(&stop_set, SIGTERM);
    int ends[2];
    if (::pthread_sigmask(SIG_BLOCK, &stop_set, nullptr) != 0 || ::pipe(ends) != 0) {
        return;
    }
    ::fcntl(ends[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(ends[1], F_SETFD, FD_CLOEXEC);
    read_fd_ = ends[0];
    // Lives until the process ends; it holds no resource that needs releasing.
    std::thread([stop_set, write_fd = ends[1]] {
        int signal_number = 0;
        if (::sigwait(&stop_set, &signal_number) == 0) {
            const char stop = 1;
            // Both signals are blocked here, so nothing interrupts this one-byte write.
            [[maybe_unused]] const ssize_t written = ::write(write_fd, &stop, 1);
        }
    }).detach();
}

}  // namespace velkor::sim
