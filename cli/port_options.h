// --port, given once per unit, and --ports-from FILE: the units a command works on.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace velkor {

struct PortOptions {
    std::vector<std::string> ports;
    std::string ports_from;
};

void AddPortOptions(CLI::App& command, PortOptions& options);

}  // namespace velkor
