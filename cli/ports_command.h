// velkor-flash ports: lists the serial devices of the machine without touching any of them.
#pragma once

#include <CLI/CLI.hpp>

namespace velkor {

// Adds the subcommand; when it runs, its exit status lands in `exit_code`.
void AddPortsCommand(CLI::App& app, int& exit_code);

}  // namespace velkor
