// The tool's update sequence without its window, for velkor-flash write and check: the file
// loaded before the port is opened, then queries, load, check, programming only when the check
// confirmed the file (or when forced), then the verify.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/serial_port.h"
#include "record/run_record.h"
#include "report/report.h"
#include "runs/command_session.h"
#include "session/update_session.h"
#include "session/update_verify.h"

namespace velkor {

// Exit statuses of velkor-flash write and check.
enum WriteExit : int {
    kWriteUpdated = 0,        // programmed: "Update complete, MCU will auto reset"; check: the
                              // file is for this unit
    kWriteNoVersion = 1,      // the MCU did not answer the version query
    kWritePortFailed = 2,     // the serial port could not be opened or set up
    kWriteNoFile = 3,         // the firmware file could not be loaded
    kWriteNotConfirmed = 4,   // the check did not confirm the file for this unit: not programmed
    kWriteProgramFailed = 5,  // programming broke off: "Update fail, please reset and try again"
    kWriteVerifyFailed = 6,   // programmed, but the MCU did not come back with the file's checksum
};

struct UpdateRequest {
    UnitRequest unit;
    bool slave = false;
    // Program even when the check warned that the file is not for this unit, refused it, or
    // found no description in it.
    bool force = false;
    std::string file;
    // After "Update complete", wait for the MCU to come back and compare its checksum.
    bool verify = true;
    std::uint32_t verify_timeout_ms = kDefaultVerifyTimeoutMs;
    // End after the check, with its verdict and whether the unit holds the file already:
    // nothing is programmed.
    bool check_only = false;
    // A unit whose MCU checksum already equals the file checksum of a confirmed file is left
    // as it is, with the result "up_to_date".
    bool leave_up_to_date = false;
    // A unit that answers no version query is taken to wait in its boot loader, left there by
    // an update that was cut: `file` is programmed without the file check, and verified.
    bool recover = false;
    // The record's command, when not "write" or "check".
    std::string command = {};
    // Chooses the file once the unit has answered its queries, in place of `file`, which is
    // then not looked at before the port opens. None: no file fits, with `why`.
    std::function<std::optional<std::string>(UpdateSession& session, std::string& why)>
        choose_file = nullptr;
    // Set, when given, to the errno of an open (of the port or the firmware file) that failed
    // for want of the process's own descriptors or memory: the run then says nothing of the
    // unit, which a station leaves as it was and tries again.
    int* resource_error = nullptr;
    // Told the name of each stage as it begins ("version", "checksum", "information", "check",
    // "programming", "verifying"), for a status line; may be empty.
    std::function<void(std::string_view stage)> on_stage = nullptr;
};

// Runs the sequence on `port` with the log going to `sink`; a WriteExit, or kExitSignalBase
// plus the signal when the run was stopped before it ended, with its "Interrupted" line in the
// log and "interrupted" as the record's result. What the run did goes to `record` when one is
// given.
int RunUpdate(SerialPort& port, Clock& clock, const UpdateRequest& request, ReportSink& sink,
              RunRecord* record = nullptr);

}  // namespace velkor
