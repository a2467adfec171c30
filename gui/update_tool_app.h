// The application: makes room for the tool on the unit, runs the main window for the whole
// run, then gives the task bar back.
#pragma once

#include "platform/clock.h"
#include "platform/unit_shell.h"
#include "session/update_session.h"

namespace velkor {

class CUpdateToolApp {
  public:
    CUpdateToolApp(UnitShell& shell, Clock& clock) : shell_(shell), clock_(clock) {}

    // Start-up, the modal main window, wind-down. Returns the process's exit status.
    int InitInstance(UpdateSession& session);

  private:
    UnitShell& shell_;
    Clock& clock_;
};

}  // namespace velkor
