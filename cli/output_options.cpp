#include "cli/output_options.h"

namespace velkor {

void AddOutputOptions(CLI::App& command, OutputOptions& options, bool talks_to_unit) {
    CLI::Option* quiet = command.add_flag(
        "-q,--quiet", options.quiet,
        "no progress bar; of the log only the errors and the line the command ends with");
    command
        .add_option("--log", options.log_file,
                    "the whole log also to FILE (appended; standard error keeps its share)")
        ->option_text("FILE");
    if (!talks_to_unit) {
        return;
    }
    command.add_flag("-v,--verbose", options.verbose, "the log, and each command as it is sent")
        ->excludes(quiet);
    command
        .add_flag("--trace", options.trace,
                  "the log, and every byte on the wire in both directions with the milliseconds "
                  "since the start")
        ->excludes(quiet);
}

}  // namespace velkor
