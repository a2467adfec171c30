#include "cli/interrupt_signals.h"

#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace velkor {

struct InterruptSignals::Shared {
    RunStop stop;
    std::atomic<bool> armed{false};
    std::atomic<bool> drain_first{false};
};

InterruptSignals::InterruptSignals() : shared_(new Shared) {
    ::signal(SIGPIPE, SIG_IGN);
    sigset_t stop_set;
    sigemptyset(&stop_set);
    sigaddset(&stop_set, SIGINT);
    sigaddset(&stop_set, SIGTERM);
    sigaddset(&stop_set, SIGHUP);
    if (::pthread_sigmask(SIG_BLOCK, &stop_set, nullptr) != 0) {
        return;  // the signals keep their default: they end the process
    }
    std::thread([stop_set, shared = shared_] {
        for (;;) {
            int signal_number = 0;
            if (::sigwait(&stop_set, &signal_number) != 0) {
                continue;
            }
            if (!shared->armed.load() || shared->stop.signal() != 0) {
                // Nothing to stop cleanly, or the technician insists: at once, with nothing
                // more written (a log that cannot be written may be why the first stop hangs).
                // The system call itself, not _exit: a sanitizer's _exit flushes stdio first,
                // and so waits for the very write to standard error that blocks.
                ::syscall(SYS_exit_group, kExitSignalBase + signal_number);
            }
            if (shared->drain_first.load() && shared->stop.drain_signal() == 0) {
                shared->stop.Drain(signal_number);
                continue;
            }
            shared->stop.Stop(signal_number);
        }
    }).detach();
}

RunStop& InterruptSignals::Arm(bool drain_first) {
    shared_->drain_first.store(drain_first);
    shared_->armed.store(true);
    return shared_->stop;
}

}  // namespace velkor
