// velkor-sim firmware: writes a firmware file for a simulated unit, or on purpose for another.
#pragma once

#include <CLI/CLI.hpp>

namespace velkor::sim {

// Exit statuses of the firmware command.
enum FirmwareExit : int {
    kFirmwareWritten = 0,
    kFirmwareNotWritten = 1,  // the file could not be written
};

// Adds the subcommand; when it runs, its exit status lands in `exit_code`.
void AddFirmwareCommand(CLI::App& app, int& exit_code);

}  // namespace velkor::sim
