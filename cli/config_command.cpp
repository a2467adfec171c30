#include "cli/config_command.h"

#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "cli/command_help.h"
#include "cli/command_output.h"
#include "cli/config_run.h"
#include "cli/exit_codes.h"
#include "cli/mcu_family_option.h"
#include "cli/model_option.h"
#include "cli/output_options.h"
#include "cli/port_holders.h"
#include "cli/port_options.h"
#include "cli/run_output.h"
#include "cli/several_ports.h"
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

// The same options written to every unit, all at once.
int ConfigSeveral(const std::vector<std::string>& devices, const ConfigRequest& request,
                  const OutputOptions& outputs, const RecordOptions& record, bool force_port) {
    const SeveralPorts several{devices, outputs, record, force_port, ConfigFailure};
    return RunOnSeveralPorts(several, [&request](UnitRunContext& unit) {
        ConfigRequest mine = request;
        mine.device = unit.device;
        mine.held_by = unit.held_by;
        unit.show_stage("options");
        RealClock clock;
        return RunConfig(unit.output.port(), clock, mine, unit.out, unit.output, &unit.record);
    });
}

}  // namespace

void AddConfigCommand(CLI::App& app, int& exit_code, InterruptSignals& signals) {
    auto request = std::make_shared<ConfigRequest>();
    auto record = std::make_shared<RecordOptions>();
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
    auto ports = std::make_shared<PortOptions>();
    AddPortOptions(*command, *ports);
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
                    return OptionIndex(option, name) ? std::string() : "must be one of " + names;
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
    command->callback([request, ports, record, outputs, &exit_code, &signals] {
        request->stop = &signals.Arm();
        const std::vector<std::string> devices = GatherPorts(ports->ports, ports->ports_from);
        if (devices.empty()) {
            exit_code = kExitUsage;
            return;
        }
        if (!CheckRunFiles({devices, {}, ports->ports_from, outputs->log_file, record->file})) {
            exit_code = kExitUsage;
            return;
        }
        if (!RecordReady(*record)) {
            exit_code = kExitRecordFailed;
            return;
        }
        if (devices.size() > 1) {
            exit_code = ConfigSeveral(devices, *request, *outputs, *record, ports->force_port);
            return;
        }
        request->device = devices.front();
        RunRecord facts;
        int exit;
        {
            CommandOutput output(*outputs);
            if (!output.Open(
                    {{request->device, "the serial device"}, {record->file, "the record file"}})) {
                exit_code = kExitUsage;
                return;
            }
            if (!ports->force_port) {
                request->held_by = HeldBy(request->device);
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
