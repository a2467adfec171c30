// The help of a velkor-flash command: what it does, its options (REQUIRED beside those that
// must be given), its exit statuses as a list and an example or two, wrapped to the terminal.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace velkor {

struct ExitStatus {
    std::string code;  // "0", "64", "128+N"
    std::string meaning;
};

// Every command's usage status, and the status of a command a signal stops.
extern const ExitStatus kBadUsageStatus;
extern const ExitStatus kStoppedStatus;

struct CommandHelp {
    std::string summary;                // one line, in the list of commands
    std::string description;            // paragraphs, separated by "\n\n"
    std::vector<ExitStatus> exits;      // in the order shown
    std::vector<std::string> examples;  // whole command lines, each shown on a line of its own
};

// `command` shows `help` with its --help (and `summary` in its parent's list of commands).
void SetCommandHelp(CLI::App& command, CommandHelp help);

}  // namespace velkor
