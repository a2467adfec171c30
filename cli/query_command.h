// velkor-flash query: reads the MCU's version, checksum and information text the way the
// tool does at the start of an update.
#pragma once

#include <CLI/CLI.hpp>

#include "cli/interrupt_signals.h"

namespace velkor {

// Exit statuses of the query command.
enum QueryExit : int {
    kQueryOk = 0,          // the version query succeeded
    kQueryNoVersion = 1,   // the MCU did not answer the version query
    kQueryPortFailed = 2,  // the serial port could not be opened or set up
};

// Adds the subcommand; when it runs, its exit status lands in `exit_code`, and `signals` stop
// it.
void AddQueryCommand(CLI::App& app, int& exit_code, InterruptSignals& signals);

}  // namespace velkor
