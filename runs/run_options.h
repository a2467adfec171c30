// What a run is told about its output and its record, as plain values: where its log goes and
// how much of it, where its record goes and whom and which station it names. The command line
// fills them (cli/output_options.h, cli/record_options.h); the runs only read them.
#pragma once

#include <string>

namespace velkor {

// -q, -v, --trace and --log FILE.
struct OutputOptions {
    bool quiet = false;    // only errors and the outcome on standard error, no progress bar
    bool verbose = false;  // also each command as it is sent
    bool trace = false;    // also every byte on the wire, with a millisecond time stamp
    std::string log_file;  // the whole log also goes here; empty: nowhere else
};

// --record FILE, --json, --station NAME and --operator NAME.
struct RecordOptions {
    std::string file;  // empty: no record file
    bool json = false;
    std::string station;        // empty: the host name
    std::string operator_name;  // empty: none
};

}  // namespace velkor
