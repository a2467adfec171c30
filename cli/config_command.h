// velkor-flash config: shows the unit options the MCU reports and writes changes to them.
#pragma once

#include <CLI/CLI.hpp>

#include "cli/interrupt_signals.h"

namespace velkor {

// Adds the subcommand; when it runs, its exit status lands in `exit_code`, and `signals` stop
// it.
void AddConfigCommand(CLI::App& app, int& exit_code, InterruptSignals& signals);

}  // namespace velkor
