#include "cli/write_command.h"

#include <memory>

#include "cli/command_output.h"
#include "cli/exit_codes.h"
#include "cli/mcu_family_option.h"
#include "cli/model_option.h"
#include "cli/output_options.h"
#include "cli/update_run.h"
#include "platform/clock.h"

namespace velkor {

void AddWriteCommand(CLI::App& app, int& exit_code) {
    auto request = std::make_shared<UpdateRequest>();
    CLI::App* command = app.add_subcommand(
        "write",
        "Update the MCU's firmware as the tool does: version, checksum and information "
        "queries, load and check of FILE, then programming with a progress bar. The log goes "
        "to standard error. Programming starts only when the check confirms that the file is "
        "for this unit, unless --force is given. Exit status: 0 updated, 1 the MCU did not "
        "answer the version query, 2 the port could not be opened, 3 the file could not be "
        "loaded, 4 the check did not confirm the file (nothing programmed), 5 programming "
        "failed, 64 bad usage.");
    command->add_option("--port", request->device, "serial device, for example /dev/ttyUSB0")
        ->required()
        ->option_text("DEVICE");
    AddModelOption(*command, request->model);
    AddMcuOption(*command, request->mcu);
    command->add_flag("--slave", request->slave,
                      "program the slave MCU (its file is not checked against the unit)");
    command->add_flag("--force", request->force,
                      "program even when the check warns that the file is not for this unit, "
                      "refuses it, or finds no description in it");
    command->add_option("FILE", request->file, "firmware file")->required();
    auto outputs = std::make_shared<OutputOptions>();
    AddOutputOptions(*command, *outputs);
    command->callback([request, outputs, &exit_code] {
        CommandOutput output(*outputs);
        if (!output.Open(
                {{request->file, "the firmware file"}, {request->device, "the serial device"}})) {
            exit_code = kExitUsage;
            return;
        }
        RealClock clock;
        exit_code = RunUpdate(output.port(), clock, *request, output);
    });
}

}  // namespace velkor
