#include "cli/check_command.h"

#include <memory>

#include "cli/command_help.h"
#include "cli/mcu_family_option.h"
#include "cli/model_option.h"
#include "cli/output_options.h"
#include "cli/port_options.h"
#include "cli/record_options.h"
#include "cli/unit_command.h"
#include "cli/write_command.h"
#include "runs/update_run.h"

namespace velkor {

void AddCheckCommand(CLI::App& app, int& exit_code, InterruptSignals& signals) {
    auto request = std::make_shared<UpdateRequest>();
    request->check_only = true;
    auto options = std::make_shared<UnitCommandOptions>();
    CLI::App* command = app.add_subcommand("check");
    SetCommandHelp(
        *command,
        {.summary = "check that a firmware file is for the unit, without programming",
         .description =
             "Run what write runs before it programs: the version, checksum and information "
             "queries with their pauses, the load of FILE and its check. Nothing is programmed. "
             "Says whether the check confirms the file for this unit, and whether the unit holds "
             "it already: its MCU checksum equals the file checksum (\"Up to date: MCU checksum "
             "00FF29E2 matches the file\").\n\n"
             "With --port given more than once (or --ports-from), every unit is checked at the "
             "same time, with a summary table at the end.",
         .exits = {{"0", "the file is for this unit"},
                   {"1", "the MCU did not answer the version query"},
                   {"2", "the port could not be opened"},
                   {"3", "the file could not be loaded"},
                   {"4", "the check did not confirm the file for this unit"},
                   {"7", "the --record line could not be written"},
                   kBadUsageStatus,
                   kStoppedStatus},
         .examples = {"velkor-flash check --port /dev/ttyUSB0 --model j5 --mcu m3 fw.hex",
                      "velkor-flash check --port /dev/ttyUSB0 --model j5 --mcu m3 --json fw.hex "
                      "| jq -r .result"}});
    AddPortOptions(*command, options->ports);
    AddModelOption(*command, request->unit.model);
    AddMcuOption(*command, request->unit.mcu);
    command->add_flag("--slave", request->slave,
                      "the file is for the slave MCU (it is not checked against the unit)");
    AddRecordOptions(*command, options->record);
    command->add_option("FILE", request->file, "firmware file")->required();
    AddOutputOptions(*command, options->outputs);
    command->callback([request, options, &exit_code, &signals] {
        exit_code = RunUpdateCommand(*options, *request, signals.Arm());
    });
}

}  // namespace velkor
