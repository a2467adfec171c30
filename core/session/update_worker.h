// The worker thread: takes one command at a time from the hand-off, runs its step and reports
// the result synchronously to the main window before it takes the next.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "session/update_session.h"
#include "session/worker_hand_off.h"

namespace velkor {

class UpdateWorker {
  public:
    // Called on the worker thread after every step 1 to 9; returns once the report is handled.
    using ReportFunction = std::function<void(std::uint32_t command, int result)>;

    UpdateWorker(UpdateSession& session, WorkerHandOff& hand_off, ReportFunction report);
    // Stops the worker and waits for it to leave.
    ~UpdateWorker();
    UpdateWorker(const UpdateWorker&) = delete;
    UpdateWorker& operator=(const UpdateWorker&) = delete;

    void Start();
    // Asks the worker to end, from any thread, without waiting: it takes no further command,
    // and the session's link is stopped, so that a reply wait, read or pause under way ends
    // within a few milliseconds and the step returns at once. The step's result is not
    // reported; the worker closes the serial port as it leaves. For a session that is ending:
    // the link stays stopped.
    void Stop();
    // True once the thread has left its loop and closed the port, so that joining will not
    // wait.
    bool finished() const { return finished_.load(); }
    void Join();

  private:
    void Run();

    UpdateSession& session_;
    WorkerHandOff& hand_off_;
    ReportFunction report_;
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

}  // namespace velkor
