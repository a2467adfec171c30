// One command on several units at once: a session per port, each on its own thread with its
// own link, log and record, so that a unit that fails does not stop the others.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "record/run_record.h"
#include "runs/command_output.h"
#include "runs/run_options.h"
#include "runs/run_output.h"

namespace velkor {

// What one unit's run gets: its port, its log sink (whose port() it runs on), a callable that
// shows each stage as it begins, where its record goes, and its standard output.
struct UnitRunContext {
    const std::string& device;
    // The programs that hold the device open, unless --force-port: the unit's port is then
    // refused. Empty: none.
    const std::string& held_by;
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
    bool force_port = false;
    // Why a unit failed, by its exit status, for its status line and the summary.
    std::function<std::string(int exit)> failure;
};

// The --port options and the --ports-from file together; empty, after saying why on standard
// error, when the file cannot be read or no port is given.
std::vector<std::string> GatherPorts(const std::vector<std::string>& ports,
                                     const std::string& ports_from);

// The files and devices of a run of write, config or query.
struct RunFiles {
    std::vector<std::string> devices;
    std::string firmware;    // write only
    std::string ports_from;  // empty: none
    std::string log;         // --log: a file with one port, a folder with several; empty: none
    std::string record;      // --record; empty: none
};

// Before anything is opened or sent: false, after saying why on standard error, when two ports
// are one device, or when the record file or a log file would be a file the run reads, a
// device of the run, a serial device, or each other (exit status 64).
bool CheckRunFiles(const RunFiles& files);

// The log file of each of `devices` in the --log `folder`: the device path without "/dev/",
// each '/' as '-'. Where that gives two ports one name (/x/a/b and /x/a-b), each of them is
// named by its whole path instead, each '/' as '+' (and '+', '%' and a leading '.' as %2B,
// %25 and %2E), which never gives two paths one name.
std::vector<std::string> UnitLogFiles(const std::string& folder,
                                      const std::vector<std::string>& devices);

// Runs `job` on every port at the same time; at the end, prints each unit's standard output
// under its port, then the summary table (or, with --json, an array of the units' objects) on
// standard output, and appends a record line per unit. The exit status: 0 when every unit
// succeeded, otherwise the highest among the units; 64 before anything is sent when the log
// folder cannot be used. The caller has checked the run's files with CheckRunFiles.
int RunOnSeveralPorts(const SeveralPorts& ports, const UnitJob& job);

}  // namespace velkor
