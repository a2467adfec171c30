// What velkor-flash does with the record of a run: --record appends it to a file as one JSON
// line, --json prints it on standard output in place of the human summary.
#pragma once

#include <string>

#include "record/record_json.h"
#include "record/run_record.h"
#include "runs/output_paths.h"
#include "runs/run_options.h"

namespace velkor {

// Before anything is opened or sent: false, with the reason on standard error, when the record
// file is one of `kept` (the firmware file, the port list, a log file, a device of the run)
// or a serial device.
bool RecordPathAllowed(const std::string& file, const std::vector<KeptFile>& kept);

// Before the run: false, with the reason on standard error, when the record file cannot be
// opened, so that no unit is changed without its record.
bool RecordReady(const RecordOptions& options);

// After the run that ended with `exit`: appends the record line as asked, with the station and
// operator the options name, and returns its JSON object with the exit status below.
struct RecordedRun {
    nlohmann::ordered_json object;
    int exit = 0;
};
RecordedRun RecordRun(const RecordOptions& options, RunRecord record, int exit);

// After the run that ended with `exit`: appends the record line and prints the JSON object as
// asked. The exit status: `exit`, or kExitRecordFailed when the run succeeded but its record
// could not be written (a failed run keeps its own status; the message says the rest).
int FinishRun(const RecordOptions& options, const RunRecord& record, int exit);

}  // namespace velkor
