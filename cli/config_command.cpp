#include "cli/config_command.h"

#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "cli/command_output.h"
#include "cli/config_run.h"
#include "cli/exit_codes.h"
#include "cli/mcu_family_option.h"
#include "cli/model_option.h"
#include "cli/output_options.h"
#include "cli/run_output.h"
#include "platform/clock.h"
#include "settings/option_lists.h"

namespace velkor {
namespace {

struct OptionFlag {
    UnitOption option;
    const char* flag;
    const char* value_text;
};

constexpr OptionFlag kFlags[] = {
    {kOptionTv, "--tv", "NAME"},       {kOptionHbrake, "--hbrake", "on|off"},
    {kOptionRds, "--rds", "on|off"},   {kOptionTft, "--tft", "NAME"},
    {kOptionDvd, "--dvd", "NAME"},     {kOptionRadio, "--radio", "NAME"},
    {kOptionAudio, "--audio", "NAME"},
};

std::string EntryNames(UnitOption option) {
    std::string names;
    for (const OptionList& list : kOptionLists) {
        if (list.option != option) {
            continue;
        }
        for (const auto entry : list.entries) {
            names += (names.empty() ? "" : ", ") + std::string(entry);
        }
    }
    return names;
}

}  // namespace

void AddConfigCommand(CLI::App& app, int& exit_code) {
    auto request = std::make_shared<ConfigRequest>();
    auto record = std::make_shared<RecordOptions>();
    CLI::App* command = app.add_subcommand(
        "config",
        "Read the MCU's version and show the unit options it reports, one \"LABEL ENTRY\" line "
        "each on standard output, with the option panel's names; with changes, write the "
        "options back with the unit's option command (the MCU then resets itself). Options "
        "not changed keep what the unit reports; RDS, which no unit reports, is written as "
        "DISABLE unless --rds is given. The log goes to standard error. Exit status: 0 shown "
        "(and written and acknowledged), 1 the MCU did not answer the version query, 2 the "
        "port could not be opened, 3 the MCU did not acknowledge the options, 4 a change names "
        "an option this unit's command does not carry (nothing written), 7 the --record line "
        "could not be written, 64 bad usage.");
    command->add_option("--port", request->device, "serial device, for example /dev/ttyUSB0")
        ->required()
        ->option_text("DEVICE");
    AddModelOption(*command, request->model);
    AddMcuOption(*command, request->mcu);
    for (const OptionFlag& flag : kFlags) {
        const UnitOption option = flag.option;
        auto* value = &request->changes[option];
        const std::string names = EntryNames(option);
        command
            ->add_option_function<std::string>(
                flag.flag,
                [value, option](const std::string& name) { *value = OptionIndex(option, name); },
                "one of " + names + " (case, blanks and the inch mark do not matter)")
            ->check(CLI::Validator(
                [option, names](std::string& name) {
                    return OptionIndex(option, name) ? std::string()
                                                     : "'" + name + "' is not one of " + names;
                },
                ""))
            ->option_text(flag.value_text);
    }
    command
        ->add_option("--record", record->file,
                     "append the run's record to FILE as one JSON line (created when missing)")
        ->option_text("FILE");
    command->add_flag("--json", record->json,
                      "print the run's record, with the options read and written, as one JSON "
                      "object on standard output instead of the LABEL ENTRY lines");
    auto outputs = std::make_shared<OutputOptions>();
    AddOutputOptions(*command, *outputs);
    command->callback([request, record, outputs, &exit_code] {
        if (!RecordReady(*record)) {
            exit_code = kExitRecordFailed;
            return;
        }
        RunRecord facts;
        int exit;
        {
            CommandOutput output(*outputs);
            if (!output.Open(
                    {{request->device, "the serial device"}, {record->file, "the record file"}})) {
                exit_code = kExitUsage;
                return;
            }
            RealClock clock;
            std::ostringstream unshown;  // the object carries the options instead
            exit = RunConfig(output.port(), clock, *request, record->json ? unshown : std::cout,
                             output, &facts);
        }
        exit_code = FinishRun(*record, facts, exit);
    });
}

}  // namespace velkor
