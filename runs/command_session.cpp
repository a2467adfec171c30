#include "runs/command_session.h"

#include <cstdio>
#include <utility>

#include "devices/held_port.h"
#include "link/link_messages.h"

namespace velkor {

CommandSession::CommandSession(SerialPort& port, Clock& clock, ReportSink& sink,
                               const UnitRequest& unit, std::string command)
    : unit_(unit),
      clock_(clock),
      started_ms_(clock.NowMs()),
      log_(sink, unit.stop),
      session_(port, clock, {}, &log_),
      watch_(unit.stop, session_.context),
      record_(StartRecord(std::move(command))) {
    record_.port = unit.device;
    record_.model = unit.model;
    record_.family = unit.mcu;
    session_.state.app_type = unit.model;
    session_.state.device = unit.device;
    session_.context.port_source = kPortSourceCommandLine;
}

bool CommandSession::OpenPort(bool announce_model) {
    if (session_.context.stopping()) {
        return false;  // stopped before it began: the port is not even opened
    }
    if (!unit_.held_by.empty()) {
        report().AppendError(HeldPortLine(unit_.device, unit_.held_by));
        return false;
    }
    const int opened = announce_model ? session_.OpenModelLink() : session_.OpenLink();
    if (opened == kOpenOk) {
        return true;
    }
    // A device that cannot be opened has been explained by the open itself.
    if (opened != kOpenNoDevice) {
        report().AppendError(unit_.device + " does not take the serial line settings\r\n");
    }
    return false;
}

bool CommandSession::ReadVersion() {
    const unsigned attempts = unit_.connect_attempts > 0 ? unit_.connect_attempts : 1;
    for (unsigned attempt = 1;; ++attempt) {
        if (attempts > 1) {
            report().LogPrintf("Connecting: attempt %u of %u\r\n", attempt, attempts);
        }
        if (session_.ReadVersion() == kLinkOk) {
            return true;
        }
        if (attempt >= attempts || session_.context.stopping()) {
            return false;
        }
    }
}

int CommandSession::Finish(int exit, bool ended_well, std::string result,
                           std::string_view interrupted_line, RunRecord* record) {
    record_.duration_ms = clock_.NowMs() - started_ms_;
    record_.result = std::move(result);
    if (const int signal = unit_.stop != nullptr ? unit_.stop->signal() : 0;
        signal != 0 && !ended_well) {
        log_.AppendClosingLine(interrupted_line);
        exit = kExitSignalBase + signal;
        record_.result = "interrupted";
    } else {
        log_.PassOn();  // not stopped, or only after its last wait: it ended as it would have
    }
    record_.exit_code = exit;
    if (record != nullptr) {
        *record = std::move(record_);
    }
    return exit;
}

}  // namespace velkor
