#include "cli/write_command.h"

#include <memory>

#include "cli/command_help.h"
#include "cli/mcu_family_option.h"
#include "cli/model_option.h"
#include "cli/option_checks.h"
#include "cli/output_options.h"
#include "cli/port_options.h"
#include "cli/record_options.h"
#include "cli/unit_command.h"
#include "devices/device_facts.h"
#include "platform/clock.h"
#include "runs/command_output.h"
#include "runs/exit_codes.h"
#include "runs/run_output.h"
#include "runs/update_run.h"

namespace velkor {

namespace {

std::string WriteFailure(int exit) {
    switch (exit) {
        case kWriteNoVersion:
            return "the MCU did not answer the version query";
        case kWritePortFailed:
            return "the port could not be opened";
        case kWriteNoFile:
            return "the file could not be loaded";
        case kWriteNotConfirmed:
            return "the check did not confirm the file";
        case kWriteProgramFailed:
            return "programming failed";
        case kWriteVerifyFailed:
            return "the verify failed";
        case kExitRecordFailed:
            return "the record could not be written";
        default:
            return "failed";
    }
}

}  // namespace

int RunUpdateCommand(const UnitCommandOptions& options, const UpdateRequest& request,
                     RunStop& stop) {
    return RunUnitCommand(
        options, request.unit, request.file, stop, WriteFailure,
        [&request](const UnitRequest& unit, CommandOutput& output, std::ostream& /*out*/,
                   RunRecord& record, const std::function<void(std::string_view)>& stage) {
            UpdateRequest mine = request;
            mine.unit = unit;
            mine.on_stage = stage;
            RealClock clock;
            return RunUpdate(output.port(), clock, mine, output, &record);
        });
}

void AddWriteCommand(CLI::App& app, int& exit_code, InterruptSignals& signals) {
    auto request = std::make_shared<UpdateRequest>();
    auto options = std::make_shared<UnitCommandOptions>();
    auto verify_seconds = std::make_shared<std::uint32_t>(kDefaultVerifyTimeoutMs / 1000);
    CLI::App* command = app.add_subcommand("write");
    SetCommandHelp(
        *command,
        {.summary = "update the MCU's firmware from a file",
         .description =
             "Update the MCU's firmware as the tool does: version, checksum and information "
             "queries, load and check of FILE, then programming with a progress bar, then the "
             "verify: wait for the MCU to come back from its reset and compare its checksum with "
             "the file checksum. The log goes to standard error. Programming starts only when "
             "the check confirms that the file is for this unit, unless --force is given.\n\n"
             "With --port given more than once (or --ports-from), every unit is updated with the "
             "same file and options at the same time, each on its own session: on a terminal a "
             "status line per unit, otherwise each log line carries its port; --log then names a "
             "folder with a log file per unit; at the end a summary table (or, with --json, an "
             "array of the units' objects), and the exit status is 0 when every unit was "
             "updated, otherwise the highest among the units. Two names of one device are "
             "refused before anything is sent.\n\n"
             "A port another program holds open is refused (status 2) unless --force-port is "
             "given. A file that holds no data, or does not end with its end record, is never "
             "programmed (status 3). The first SIGINT, SIGTERM or SIGHUP stops every unit "
             "between two records (or at once while it waits), logs how far it came and records "
             "\"interrupted\"; a second ends at once.\n\n"
             "A unit left in its boot loader by an update that was cut (a second Ctrl-C, a "
             "power cut) answers no query: --recover then programs FILE into it without the "
             "file check, and verifies it; its record says \"recovered\": true.",
         .exits = {{"0", "updated (and verified, where a comparison is possible)"},
                   {"1", "the MCU did not answer the version query"},
                   {"2", "the port could not be opened"},
                   {"3", "the file could not be loaded"},
                   {"4", "the check did not confirm the file (nothing programmed)"},
                   {"5", "programming failed"},
                   {"6",
                    "the verify failed (the MCU did not come back, or not with the file's "
                    "checksum)"},
                   {"7", "the --record line could not be written"},
                   kBadUsageStatus,
                   kStoppedStatus},
         .examples = {"velkor-flash write --port /dev/ttyUSB0 --model j5 --mcu m3 fw.hex",
                      "velkor-flash write --port /dev/ttyUSB0 --model j5 --mcu m3 --recover "
                      "fw.hex",
                      "velkor-flash write --ports-from bench.txt --model r3360 --mcu stm8 "
                      "fw.s19"}});
    AddPortOptions(*command, options->ports);
    AddModelOption(*command, request->unit.model);
    AddMcuOption(*command, request->unit.mcu);
    command->add_flag("--slave", request->slave,
                      "program the slave MCU (its file is not checked against the unit)");
    command->add_flag("--force", request->force,
                      "program even when the check warns that the file is not for this unit, "
                      "refuses it, or finds no description in it");
    command->add_flag("--recover", request->recover,
                      "a unit that answers no version query is taken to wait in its boot loader "
                      "(an update of it was cut): program FILE without the file check, then "
                      "verify");
    command->add_flag_callback(
        "--no-verify", [request] { request->verify = false; },
        "end after \"Update complete\", without waiting for the MCU to come back and comparing "
        "its checksum");
    command
        ->add_option("--verify-timeout", *verify_seconds,
                     "how long the verify waits for the MCU to come back (default 20)")
        ->check(WholeNumberFrom(1, 3600, "seconds"))
        ->option_text("SECONDS");
    AddRecordOptions(*command, options->record);
    command->add_option("FILE", request->file, "firmware file")->required();
    AddOutputOptions(*command, options->outputs);
    command->callback([request, options, verify_seconds, &exit_code, &signals] {
        request->verify_timeout_ms = *verify_seconds * 1000;
        exit_code = RunUpdateCommand(*options, *request, signals.Arm());
    });
}

}  // namespace velkor
