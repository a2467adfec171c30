// velkor-flash image: loads a firmware file the way the tool does and writes the image out.
#pragma once

#include <CLI/CLI.hpp>

namespace velkor {

// Adds the subcommand; when it runs, its exit status lands in `exit_code`.
void AddImageCommand(CLI::App& app, int& exit_code);

}  // namespace velkor
