// velkor-flash write: updates the MCU's firmware the way the tool does, without its window.
#pragma once

#include <CLI/CLI.hpp>

#include "cli/interrupt_signals.h"
#include "cli/unit_command.h"
#include "runs/update_run.h"

namespace velkor {

// Adds the subcommand; when it runs, its exit status lands in `exit_code`, and `signals` stop
// it.
void AddWriteCommand(CLI::App& app, int& exit_code, InterruptSignals& signals);

// Runs write, or check (request.check_only), on every unit the options name.
int RunUpdateCommand(const UnitCommandOptions& options, const UpdateRequest& request,
                     RunStop& stop);

}  // namespace velkor
