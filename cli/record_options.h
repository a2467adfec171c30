// The options of write, config and query that say where the record of a run goes and whom and
// which station it names: --record FILE, --json, --station NAME and --operator NAME.
#pragma once

#include <CLI/CLI.hpp>

#include "runs/run_options.h"

namespace velkor {

// --json only where a run has one record to print.
void AddRecordOptions(CLI::App& command, RecordOptions& options, bool json = true);

}  // namespace velkor
