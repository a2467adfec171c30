// The options of every velkor-flash command that say where its log goes and how much of it:
// -q, -v, --trace and --log FILE.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

namespace velkor {

struct OutputOptions {
    bool quiet = false;    // only errors and the outcome on standard error, no progress bar
    bool verbose = false;  // also each command as it is sent
    bool trace = false;    // also every byte on the wire, with a millisecond time stamp
    std::string log_file;  // the whole log also goes here; empty: nowhere else
};

// Adds the options to `command`; -v and --trace only when it talks to a unit.
void AddOutputOptions(CLI::App& command, OutputOptions& options, bool talks_to_unit = true);

}  // namespace velkor
