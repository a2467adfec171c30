// The options of every velkor-flash command that say where its log goes and how much of it:
// -q, -v, --trace and --log FILE.
#pragma once

#include <CLI/CLI.hpp>

#include "runs/run_options.h"

namespace velkor {

// Adds the options to `command`; -v and --trace only when it talks to a unit.
void AddOutputOptions(CLI::App& command, OutputOptions& options, bool talks_to_unit = true);

}  // namespace velkor
