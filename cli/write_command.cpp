#include "cli/write_command.h"

#include <memory>

#include "cli/command_help.h"
#include "cli/command_output.h"
#include "cli/exit_codes.h"
#include "cli/mcu_family_option.h"
#include "cli/model_option.h"
#include "cli/option_checks.h"
#include "cli/output_options.h"
#include "cli/port_holders.h"
#include "cli/port_options.h"
#include "cli/run_output.h"
#include "cli/several_ports.h"
#include "cli/update_run.h"
#include "platform/clock.h"

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

// The same file, model, family and options on every unit, all at once.
int WriteSeveral(const std::vector<std::string>& devices, const UpdateRequest& request,
                 const OutputOptions& outputs, const RecordOptions& record, bool force_port) {
    const SeveralPorts several{devices, outputs, record, force_port, WriteFailure};
    return RunOnSeveralPorts(several, [&request](UnitRunContext& unit) {
        UpdateRequest mine = request;
        mine.device = unit.device;
        mine.held_by = unit.held_by;
        mine.on_stage = unit.show_stage;
        RealClock clock;
        return RunUpdate(unit.output.port(), clock, mine, unit.output, &unit.record);
    });
}

}  // namespace

void AddWriteCommand(CLI::App& app, int& exit_code, InterruptSignals& signals) {
    auto request = std::make_shared<UpdateRequest>();
    auto record = std::make_shared<RecordOptions>();
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
             "\"interrupted\"; a second ends at once.",
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
                      "velkor-flash write --ports-from bench.txt --model r3360 --mcu stm8 "
                      "fw.s19"}});
    auto ports = std::make_shared<PortOptions>();
    AddPortOptions(*command, *ports);
    AddModelOption(*command, request->model);
    AddMcuOption(*command, request->mcu);
    command->add_flag("--slave", request->slave,
                      "program the slave MCU (its file is not checked against the unit)");
    command->add_flag("--force", request->force,
                      "program even when the check warns that the file is not for this unit, "
                      "refuses it, or finds no description in it");
    command->add_flag_callback(
        "--no-verify", [request] { request->verify = false; },
        "end after \"Update complete\", without waiting for the MCU to come back and comparing "
        "its checksum");
    command
        ->add_option("--verify-timeout", *verify_seconds,
                     "how long the verify waits for the MCU to come back (default 20)")
        ->check(WholeNumberFrom(1, 3600, "seconds"))
        ->option_text("SECONDS");
    command
        ->add_option("--record", record->file,
                     "append the run's record to FILE as one JSON line (created when missing)")
        ->option_text("FILE");
    command->add_flag("--json", record->json,
                      "print the run's record as one JSON object on standard output at the end");
    command->add_option("FILE", request->file, "firmware file")->required();
    auto outputs = std::make_shared<OutputOptions>();
    AddOutputOptions(*command, *outputs);
    command->callback([request, ports, record, outputs, verify_seconds, &exit_code, &signals] {
        request->stop = &signals.Arm();
        const std::vector<std::string> devices = GatherPorts(ports->ports, ports->ports_from);
        if (devices.empty()) {
            exit_code = kExitUsage;
            return;
        }
        if (!CheckRunFiles(
                {devices, request->file, ports->ports_from, outputs->log_file, record->file})) {
            exit_code = kExitUsage;
            return;
        }
        if (!RecordReady(*record)) {
            exit_code = kExitRecordFailed;
            return;
        }
        request->verify_timeout_ms = *verify_seconds * 1000;
        if (devices.size() > 1) {
            exit_code = WriteSeveral(devices, *request, *outputs, *record, ports->force_port);
            return;
        }
        request->device = devices.front();
        RunRecord facts;
        int exit;
        {
            CommandOutput output(*outputs);
            if (!output.Open({{request->file, "the firmware file"},
                              {request->device, "the serial device"},
                              {record->file, "the record file"}})) {
                exit_code = kExitUsage;
                return;
            }
            if (!ports->force_port) {
                request->held_by = HeldBy(request->device);
            }
            RealClock clock;
            exit = RunUpdate(output.port(), clock, *request, output, &facts);
        }
        exit_code = FinishRun(*record, facts, exit);
    });
}

}  // namespace velkor
