#include "sim/control_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace velkor::sim {

ControlSignals::ControlSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2}) {
        sigaddset(&signals, signal_number);
    }
    int ends[2];
    if (::pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0 || ::pipe(ends) != 0) {
        return;
    }
    ::fcntl(ends[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(ends[1], F_SETFD, FD_CLOEXEC);
    read_fd_ = ends[0];
    // Lives until the process ends; it holds no resource that needs releasing. Each signal
    // goes down the pipe as its number, in the order they came; the signals are blocked
    // here, so nothing interrupts a write.
    std::thread([signals, write_fd = ends[1]] {
        for (;;) {
            int signal_number = 0;
            if (::sigwait(&signals, &signal_number) != 0) {
                return;
            }
            const auto byte = static_cast<unsigned char>(signal_number);
            if (::write(write_fd, &byte, 1) != 1) {
                return;
            }
        }
    }).detach();
}

std::optional<ControlEvent> ControlSignals::Take() const {
    unsigned char byte = 0;
    ssize_t count = 0;
    do {
        count = ::read(read_fd_, &byte, 1);
    } while (count < 0 && errno == EINTR);
    if (count != 1) {
        return std::nullopt;
    }
    switch (byte) {
        case SIGUSR1:
            return ControlEvent::kUnplug;
        case SIGUSR2:
            return ControlEvent::kPlugIn;
        default:
            return ControlEvent::kStop;
    }
}

}  // namespace velkor::sim
