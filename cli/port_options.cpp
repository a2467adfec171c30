#include "cli/port_options.h"

#include "cli/option_checks.h"

namespace velkor {

void AddPortOptions(CLI::App& command, PortOptions& options) {
    command
        .add_option(
            "--port", options.ports,
            "serial device of the unit, for example /dev/ttyUSB0 or a "
            "/dev/serial/by-id/ name; once per unit to work on several units at once (this or "
            "--ports-from is required)")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->option_text("DEVICE");
    command
        .add_option("--ports-from", options.ports_from,
                    "the units' serial devices, one a line ('#' begins a comment)")
        ->option_text("FILE");
    AddForcePortOption(command, options.force_port);
    AddConnectAttemptsOption(command, options.connect_attempts);
}

void AddConnectAttemptsOption(CLI::App& command, unsigned& attempts) {
    command
        .add_option("--connect-attempts", attempts,
                    "send the version query up to N times before giving up (default 1), for a "
                    "unit that is still starting")
        ->check(WholeNumberFrom(1, 100, "attempts"))
        ->option_text("N");
}

void AddForcePortOption(CLI::App& command, bool& force_port) {
    command.add_flag("--force-port", force_port,
                     "open the port even when another program holds it open (its reads would "
                     "take the MCU's replies)");
}

}  // namespace velkor
