// The options of write, config and query that say where the record of a run goes and whom and
// which station it names: --record FILE, --json, --station NAME and --operator NAME.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

namespace velkor {

struct RecordOptions {
    std::string file;  // empty: no record file
    bool json = false;
    std::string station;        // empty: the host name
    std::string operator_name;  // empty: none
};

// --json only where a run has one record to print.
void AddRecordOptions(CLI::App& command, RecordOptions& options, bool json = true);

}  // namespace velkor
