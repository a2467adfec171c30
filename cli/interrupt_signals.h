// How velkor-flash takes SIGINT, SIGTERM, SIGHUP and SIGPIPE.
//
// SIGPIPE is ignored: a reader of the log or the output that goes away only fails that write,
// never the update (the log file and the record still get everything). The other three are
// taken by a thread of their own with sigwait, never by a handler. The first stops the run
// (RunStop) once a command has armed it, and ends the process at once before that, when no
// unit is being talked to; a second ends the process at once. Either way the status is 128
// plus the signal's number.
#pragma once

#include "runs/run_stop.h"

namespace velkor {

class InterruptSignals {
  public:
    // Construct first, before any other thread exists: the three signals are blocked in this
    // thread and every thread it starts later.
    InterruptSignals();
    InterruptSignals(const InterruptSignals&) = delete;
    InterruptSignals& operator=(const InterruptSignals&) = delete;

    // From now on the first signal stops the run instead of ending the process; with
    // `drain_first`, the first drains the run (RunStop::Drain), the second stops it and a
    // third ends the process.
    RunStop& Arm(bool drain_first = false);

  private:
    struct Shared;
    Shared* shared_;  // lives until the process ends, as the thread that reads it does
};

}  // namespace velkor
