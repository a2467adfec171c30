// velkor-flash station: plug a unit in, it is updated, verified and recorded; take it away,
// plug the next.
#pragma once

#include <CLI/CLI.hpp>

#include "cli/interrupt_signals.h"

namespace velkor {

// Adds the subcommand; when it runs, its exit status lands in `exit_code`, and `signals` drain
// and then stop it.
void AddStationCommand(CLI::App& app, int& exit_code, InterruptSignals& signals);

}  // namespace velkor
