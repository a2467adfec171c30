// velkor-flash: the tool's work from a command line, for scripts and hosts without a screen.
#include <CLI/CLI.hpp>

#include "cli/check_command.h"
#include "cli/command_help.h"
#include "cli/config_command.h"
#include "cli/image_command.h"
#include "cli/interrupt_signals.h"
#include "cli/ports_command.h"
#include "cli/query_command.h"
#include "cli/station_command.h"
#include "cli/usage_errors.h"
#include "cli/write_command.h"
#include "runs/exit_codes.h"

int main(int argc, char** argv) {
    // First, before any thread: the signals go to a thread of their own.
    velkor::InterruptSignals signals;
    CLI::App app{"", "velkor-flash"};
    // Before the commands: each takes its help flag from here.
    app.set_help_flag("-h,--help", "show this help and exit");
    app.set_version_flag("--version", "velkor-flash " VELKOR_VERSION, "show the version and exit");
    app.failure_message(velkor::UsageMessage);
    velkor::SetCommandHelp(
        app, {.summary = "",
              .description = "velkor-flash: head-unit MCU firmware and option tool. Each "
                             "command's --help lists its options, exit statuses and examples.",
              .exits = {velkor::kBadUsageStatus},
              .examples = {"velkor-flash ports",
                           "velkor-flash write --port /dev/ttyUSB0 --model j5 --mcu m3 fw.hex"}});
    app.require_subcommand(1);
    int exit_code = 0;
    velkor::AddImageCommand(app, exit_code);
    velkor::AddQueryCommand(app, exit_code, signals);
    velkor::AddWriteCommand(app, exit_code, signals);
    velkor::AddCheckCommand(app, exit_code, signals);
    velkor::AddStationCommand(app, exit_code, signals);
    velkor::AddConfigCommand(app, exit_code, signals);
    velkor::AddPortsCommand(app, exit_code);
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return velkor::kExitUsage;
    }
    return exit_code;
}
