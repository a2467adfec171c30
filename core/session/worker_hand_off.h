// The hand-off between the user-interface thread and the worker thread: at most one pending
// command, the last one stored wins, and a command stored at any moment is never lost.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace velkor {

class WorkerHandOff {
  public:
    // Makes `command` the pending command, replacing one not yet taken, and wakes the worker.
    void Store(std::uint32_t command);

    // Worker side: returns the pending command and clears it. With none pending the worker
    // is idle and sleeps until a command is stored or Stop() is called; 0 means stop.
    std::uint32_t Take();

    // True while the worker sleeps with nothing to do. A pending command that has not been
    // taken yet already counts as work: the worker is about to run it.
    bool idle() const { return idle_.load(); }

    // The command stored and not yet taken; 0 when none.
    std::uint32_t pending();

    // Ends every present and future Take() with 0.
    void Stop();
    bool stopping() const { return stopping_.load(); }

  private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::uint32_t pending_ = 0;
    std::atomic<bool> idle_{false};
    std::atomic<bool> stopping_{false};
};

}  // namespace velkor
