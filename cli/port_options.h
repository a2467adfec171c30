// --port, given once per unit, and --ports-from FILE: the units a command works on; and
// --force-port.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace velkor {

struct PortOptions {
    std::vector<std::string> ports;
    std::string ports_from;
    bool force_port = false;  // open a port another program holds open
    unsigned connect_attempts = 1;
};

void AddPortOptions(CLI::App& command, PortOptions& options);

// --force-port alone, for a command that takes one --port of its own.
void AddForcePortOption(CLI::App& command, bool& force_port);
// --connect-attempts N: how many times the version query is sent before the unit counts as
// silent.
void AddConnectAttemptsOption(CLI::App& command, unsigned& attempts);

}  // namespace velkor
