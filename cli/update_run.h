// The tool's update sequence without its window, for velkor-flash write: queries, load, check,
// and programming only when the check confirmed the file (or when forced).
#pragma once

#include <string>

#include "platform/clock.h"
#include "platform/serial_port.h"
#include "report/report.h"
#include "settings/unit_types.h"

namespace velkor {

// Exit statuses of velkor-flash write.
enum WriteExit : int {
    kWriteUpdated = 0,        // programmed: "Update complete, MCU will auto reset"
    kWriteNoVersion = 1,      // the MCU did not answer the version query
    kWritePortFailed = 2,     // the serial port could not be opened or set up
    kWriteNoFile = 3,         // the firmware file could not be loaded
    kWriteNotConfirmed = 4,   // the check did not confirm the file for this unit: not programmed
    kWriteProgramFailed = 5,  // programming broke off: "Update fail, please reset and try again"
};

struct UpdateRequest {
    std::string device;
    AppType model = kAppTypeUndetermined;
    McuType mcu = kMcuTypeUndetermined;
    bool slave = false;
    // Program even when the check warned that the file is not for this unit, refused it, or
    // found no description in it.
    bool force = false;
    std::string file;
};

// Runs the sequence on `port` with the log going to `sink`; a WriteExit.
int RunUpdate(SerialPort& port, Clock& clock, const UpdateRequest& request, ReportSink& sink);

}  // namespace velkor
