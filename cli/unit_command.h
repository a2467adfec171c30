// What write, check and config share around their own run: the ports, the files they keep
// apart, the log and the record; one unit in the foreground, several side by side.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <string_view>

#include "cli/output_options.h"
#include "cli/port_options.h"
#include "cli/record_options.h"
#include "record/run_record.h"
#include "runs/command_output.h"
#include "runs/command_session.h"
#include "runs/run_output.h"
#include "runs/run_stop.h"

namespace velkor {

struct UnitCommandOptions {
    PortOptions ports;
    OutputOptions outputs;
    RecordOptions record;
};

// One unit's run: on `unit`, its log going to `output` (whose port() it runs on), its standard
// output to `out`, what it did to `record`; `show_stage` (may be empty) shows each stage as it
// begins. Returns the exit status.
using UnitRun =
    std::function<int(const UnitRequest& unit, CommandOutput& output, std::ostream& out,
                      RunRecord& record, const std::function<void(std::string_view)>& show_stage)>;

// Gathers the ports, checks the run's files (`firmware` may be empty), makes sure the record
// can be kept, then runs `run` on each unit as `unit` asks (its device and holders filled in
// for each) and keeps the records. `failure` tells, for the summary of several units, why a
// unit ended with an exit status.
int RunUnitCommand(const UnitCommandOptions& options, UnitRequest unit, const std::string& firmware,
                   RunStop& stop, const std::function<std::string(int exit)>& failure,
                   const UnitRun& run);

}  // namespace velkor
