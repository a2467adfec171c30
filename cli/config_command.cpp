#include "cli/config_command.h"

#include <memory>
#include <string>

#include "cli/command_help.h"
#include "cli/mcu_family_option.h"
#include "cli/model_option.h"
#include "cli/output_options.h"
#include "cli/port_options.h"
#include "cli/record_options.h"
#include "cli/unit_command.h"
#include "devices/device_facts.h"
#include "platform/clock.h"
#include "runs/command_output.h"
#include "runs/config_run.h"
#include "runs/exit_codes.h"
#include "runs/run_output.h"
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
    std::string names = option == kOptionHbrake || option == kOptionRds ? "on, off" : "";
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

std::string ConfigFailure(int exit) {
    switch (exit) {
        case kConfigNoVersion:
            return "the MCU did not answer the version query";
        case kConfigPortFailed:
            return "the port could not be opened";
        case kConfigNotWritten:
            return "the MCU did not acknowledge the options";
        case kConfigNotCarried:
            return "the unit's command does not carry a changed option";
        case kExitRecordFailed:
            return "the record could not be written";
        default:
            return "failed";
    }
}

}  // namespace

void AddConfigCommand(CLI::App& app, int& exit_code, InterruptSignals& signals) {
    auto request = std::make_shared<ConfigRequest>();
    auto options = std::make_shared<UnitCommandOptions>();
    CLI::App* command = app.add_subcommand("config");
    SetCommandHelp(
        *command,
        {.summary = "show the unit options the MCU holds, and change them",
         .description =
             "Read the MCU's version and show the unit options it reports, one \"LABEL ENTRY\" "
             "line each on standard output, with the option panel's names; with changes, write "
             "the options back with the unit's option command (the MCU then resets itself). "
             "Options not changed keep what the unit reports; RDS, which no unit reports, is "
             "written as DISABLE unless --rds is given. The log goes to standard error.\n\n"
             "With --port given more than once (or --ports-from), the same options are written "
             "to every unit at the same time; each unit's LABEL ENTRY lines carry its port, a "
             "summary table follows, and the exit status is the highest among the units.",
         .exits = {{"0", "shown (and written and acknowledged)"},
                   {"1", "the MCU did not answer the version query"},
                   {"2", "the port could not be opened"},
                   {"3", "the MCU did not acknowledge the options"},
                   {"4",
                    "a change names an option this unit's command does not carry (nothing "
                    "written)"},
                   {"7", "the --record line could not be written"},
                   kBadUsageStatus,
                   kStoppedStatus},
         .examples = {"velkor-flash config --port /dev/ttyUSB0 --model j5 --mcu m3",
                      "velkor-flash config --port /dev/ttyUSB0 --model j5 --mcu m3 --rds on "
                      "--tv DVBT"}});
    AddPortOptions(*command, options->ports);
    AddModelOption(*command, request->unit.model);
    AddMcuOption(*command, request->unit.mcu);
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
                    return OptionIndex(option, name) ? std::string() : "must be one of " + names;
                },
                ""))
            ->option_text(flag.value_text);
    }
    AddRecordOptions(*command, options->record);
    AddOutputOptions(*command, options->outputs);
    command->callback([request, options, &exit_code, &signals] {
        exit_code = RunUnitCommand(
            *options, request->unit, {}, signals.Arm(), ConfigFailure,
            [&request](const UnitRequest& unit, CommandOutput& output, std::ostream& out,
                       RunRecord& record, const std::function<void(std::string_view)>& stage) {
                ConfigRequest mine = *request;
                mine.unit = unit;
                if (stage) {
                    stage("options");
                }
                RealClock clock;
                return RunConfig(output.port(), clock, mine, out, output, &record);
            });
    });
}

}  // namespace velkor
