// Turns SIGINT and SIGTERM into a readable descriptor, so that a poll loop can end cleanly
// without any state shared with a signal handler.
#pragma once

namespace velkor::sim {

class StopSignals {
  public:
    // Blocks both signals in the calling thread and every thread it starts later; construct it
    // before any other thread exists. A helper thread takes the signals with sigwait.
    StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    bool ok() const { return read_fd_ >= 0; }
    // Becomes readable once a stop signal has arrived.
    int fd() const { return read_fd_; }

  private:
    int read_fd_ = -1;
};

}  // namespace velkor::sim
