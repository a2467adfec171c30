// One command on several units at once: a session per port, each on its own thread with its
// own link, log and record, so that a unit that fails does not stop the others.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_output.h"
#include "cli/output_options.h"
#include "cli/run_output.h"
#include "record/run_record.h"

namespace velkor {

// What one unit's run gets: its port, its log sink (whose port() it runs on), a callable that
// shows each stage as it begins, where its record goes, and its standard output.
struct UnitRunContext {
    const std::string& device;
    CommandOutput& output;
    std::function<void(std::string_view stage)> show_stage;
    RunRecord& record;
    std::ostream& out;
};
using UnitJob = std::function<int(UnitRunContext& unit)>;

struct SeveralPorts {
    std::vector<std::string> devices;
    OutputOptions outputs;  // with several ports, --log names a folder
    RecordOptions record;
    // Files the log files must not be, as for one port, besides the devices and the record
    // file.
    std::vector<KeptFile> kept;
    // Why a unit failed, by its exit status, for its status line and the summary.
    std::function<std::string(int exit)> failure;
};

// The --port options and the --ports-from file together; empty, after saying why on standard
// error, when the file cannot be read or no port is given.
std::vector<std::string> GatherPorts(const std::vector<std::string>& ports,
                                     const std::string& ports_from);

// Runs `job` on every port at the same time; at the end, prints each unit's standard output
// under its port, then the summary table (or, with --json, an array of the units' objects) on
// standard output, and appends a record line per unit. The exit status: 0 when every unit
// succeeded, otherwise the highest among the units; 64 before anything is sent when two ports
// are one device or the log folder cannot be used.
int RunOnSeveralPorts(const SeveralPorts& ports, const UnitJob& job);

}  // namespace velkor
