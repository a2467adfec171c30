// What every velkor-flash command that talks to a unit does around its own steps: one update
// session on the port with its log held back after a stop, the record's common facts, the port
// opened and the version asked for the same way, and the same ending after a stop.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/serial_port.h"
#include "record/run_record.h"
#include "report/report.h"
#include "runs/run_stop.h"
#include "session/update_session.h"
#include "settings/unit_types.h"

namespace velkor {

// The unit a command talks to, and how.
struct UnitRequest {
    std::string device;
    AppType model = kAppTypeUndetermined;
    McuType mcu = kMcuTypeUndetermined;  // none for a command that handles no family
    // The programs that hold the device open, found before the run (for example "cat (pid
    // 4242)"): the port is then refused before it is opened. Empty: none, or --force-port.
    std::string held_by = {};
    // Stops the run from another thread; null: nothing does.
    RunStop* stop = nullptr;
    // How many times the version query is sent before the unit counts as silent.
    unsigned connect_attempts = 1;
};

class CommandSession {
  public:
    // A session of `command` ("write", "config", ...) on `port`, its log going to `sink`.
    CommandSession(SerialPort& port, Clock& clock, ReportSink& sink, const UnitRequest& unit,
                   std::string command);
    CommandSession(const CommandSession&) = delete;
    CommandSession& operator=(const CommandSession&) = delete;

    // Opens the port, announcing the model first when `announce_model`. False, with the reason
    // in the log, when the run was stopped already, another program holds the device, or it
    // cannot be opened or set up.
    bool OpenPort(bool announce_model);
    // The version query, up to the request's number of attempts, each attempt after the first
    // with a line of its own. False when the unit never answered.
    bool ReadVersion();

    // Ends the run with `exit` and the record's `result`. When a signal stopped a run that had
    // not ended well, says `interrupted_line` and gives 128 plus the signal; otherwise the log
    // held back since the stop is passed on. The record goes to `record` when one is given.
    int Finish(int exit, bool ended_well, std::string result, std::string_view interrupted_line,
               RunRecord* record);

    UpdateSession& session() { return session_; }
    Report& report() { return session_.report; }
    RunRecord& record() { return record_; }

  private:
    const UnitRequest& unit_;
    Clock& clock_;
    const std::uint32_t started_ms_;
    HeldAfterStop log_;
    UpdateSession session_;
    RunStop::Watch watch_;
    RunRecord record_;
};

}  // namespace velkor
