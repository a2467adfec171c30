#include "cli/record_options.h"

namespace velkor {
namespace {

// An empty name is a script's unset variable rather than a name: refused, not recorded.
CLI::Validator NonEmptyName() {
    return CLI::Validator(
        [](const std::string& name) {
            return name.empty() ? std::string("must not be empty") : std::string();
        },
        "");
}

}  // namespace

void AddRecordOptions(CLI::App& command, RecordOptions& options, bool json) {
    command
        .add_option("--record", options.file,
                    "append the run's record to FILE as one JSON line (created when missing)")
        ->option_text("FILE");
    if (json) {
        command.add_flag("--json", options.json,
                         "print the run's record as one JSON object on standard output, in "
                         "place of the usual output");
    }
    command
        .add_option("--station", options.station,
                    "the station the record names (default: the host name)")
        ->check(NonEmptyName())
        ->option_text("NAME");
    command.add_option("--operator", options.operator_name, "the operator the record names")
        ->check(NonEmptyName())
        ->option_text("NAME");
}

}  // namespace velkor
