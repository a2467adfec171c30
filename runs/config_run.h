// The unit options from a command line, for velkor-flash config: read the version, show the
// options it reports with the option panel's names, and write the changes given.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/serial_port.h"
#include "procedures/unit_options.h"
#include "record/run_record.h"
#include "report/report.h"
#include "runs/command_session.h"
#include "settings/unit_types.h"

namespace velkor {

// Exit statuses of velkor-flash config.
enum ConfigExit : int {
    kConfigDone = 0,        // shown, and written and acknowledged when changes were given
    kConfigNoVersion = 1,   // the MCU did not answer the version query
    kConfigPortFailed = 2,  // the serial port could not be opened or set up
    kConfigNotWritten = 3,  // the MCU did not acknowledge the options
    kConfigNotCarried = 4,  // a change names an option the unit's command does not carry
};

struct ConfigRequest {
    UnitRequest unit;
    // New list indices by UnitOption; empty: keep what the unit reports.
    std::array<std::optional<std::uint8_t>, kUnitOptionCount> changes{};
};

// The index of `name` in the option's list, ignoring case, blanks and the inch mark, so that
// `INN 6.5" NEW` may be typed as inn6.5new; the switches also take on and off.
std::optional<std::uint8_t> OptionIndex(UnitOption option, std::string_view name);

// Runs on `port` with the log going to `sink`; the options, as "LABEL ENTRY" lines, go to
// `out`. A ConfigExit, or kExitSignalBase plus the signal when the run was stopped before it
// ended, with its "Interrupted" line in the log. What the run did goes to `record` when one is
// given.
int RunConfig(SerialPort& port, Clock& clock, const ConfigRequest& request, std::ostream& out,
              ReportSink& sink, RunRecord* record = nullptr);

}  // namespace velkor
