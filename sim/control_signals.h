// Turns the signals that steer velkor-sim into events on a readable descriptor, so that a poll
// loop acts on them without any state shared with a signal handler: SIGINT, SIGTERM and SIGHUP
// stop it, SIGUSR1 takes the unit off the fixture, SIGUSR2 plugs the next unit in.
#pragma once

#include <optional>

namespace velkor::sim {

enum class ControlEvent { kStop, kUnplug, kPlugIn };

class ControlSignals {
  public:
    // Blocks the signals in the calling thread and every thread it starts later; construct it
    // before any other thread exists. A helper thread takes them with sigwait.
    ControlSignals();
    ControlSignals(const ControlSignals&) = delete;
    ControlSignals& operator=(const ControlSignals&) = delete;

    bool ok() const { return read_fd_ >= 0; }
    // Readable while an event waits to be taken.
    int fd() const { return read_fd_; }
    // The oldest event not yet taken; waits for one. None when the descriptor fails.
    std::optional<ControlEvent> Take() const;

  private:
    int read_fd_ = -1;
};

}  // namespace velkor::sim
