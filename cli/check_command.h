// velkor-flash check: what write does before it programs, and nothing more; whether a file is
// for a unit and whether the unit holds it already.
#pragma once

#include <CLI/CLI.hpp>

#include "cli/interrupt_signals.h"

namespace velkor {

// Adds the subcommand; when it runs, its exit status lands in `exit_code`, and `signals` stop
// it.
void AddCheckCommand(CLI::App& app, int& exit_code, InterruptSignals& signals);

}  // namespace velkor
