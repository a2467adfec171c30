#include "cli/query_command.h"

#include <cstdio>
#include <string>

#include "cli/command_help.h"
#include "cli/model_option.h"
#include "cli/output_options.h"
#include "cli/port_options.h"
#include "cli/record_options.h"
#include "devices/device_facts.h"
#include "devices/port_holders.h"
#include "platform/clock.h"
#include "record/session_facts.h"
#include "runs/command_output.h"
#include "runs/command_session.h"
#include "runs/exit_codes.h"
#include "runs/run_output.h"
#include "runs/several_ports.h"

namespace velkor {
namespace {

struct QueryOptions {
    std::string port;
    AppType model = kAppTypeUndetermined;
    RecordOptions record;
    bool force_port = false;
    unsigned connect_attempts = 1;
};

int RunQuerySteps(CommandSession& run, const QueryOptions& options) {
    UpdateSession& session = run.session();
    if (!run.OpenPort(false)) {
        return kQueryPortFailed;
    }
    if (!run.ReadVersion()) {
        return kQueryNoVersion;
    }
    if (session.ReadChecksum() == kLinkOk) {
        if (!options.record.json) {
            std::printf("%08X\n", session.context.replies.checksum);
            std::fflush(stdout);
        }
    } else {
        session.report.AppendError("velkor-flash: the MCU did not report its checksum\r\n");
    }
    session.ReadInformation();
    // The information text is free bytes; end its last line so the shell prompt starts clean.
    if (const auto text = session.context.replies.InformationText();
        !text.empty() && text.back() != '\n') {
        session.report.AppendLog("\r\n");
    }
    TakeUnitFacts(session, run.record());
    return kQueryOk;
}

const char* ResultWord(int exit) {
    switch (exit) {
        case kQueryOk:
            return "ok";
        case kQueryNoVersion:
            return "no_version";
        default:
            return "port_failed";
    }
}

int RunQuery(const QueryOptions& options, const OutputOptions& outputs, RunStop& stop) {
    RunRecord record;
    const DeviceFacts device = DeviceFactsOf(options.port);
    int exit;
    {
        CommandOutput output(outputs);
        if (!output.Open(
                {{options.port, "the serial device"}, {options.record.file, "the record file"}})) {
            return kExitUsage;
        }
        UnitRequest unit{options.port, options.model};
        unit.held_by = options.force_port ? std::string() : HeldBy(options.port);
        unit.stop = &stop;
        unit.connect_attempts = options.connect_attempts;
        RealClock clock;
        CommandSession run(output.port(), clock, output, unit, "query");
        exit = RunQuerySteps(run, options);
        exit = run.Finish(exit, exit == kQueryOk, ResultWord(exit), kLogInterruptedNothingWritten,
                          &record);
    }
    record.device = device;
    return FinishRun(options.record, record, exit);
}

}  // namespace

void AddQueryCommand(CLI::App& app, int& exit_code, InterruptSignals& signals) {
    auto options = std::make_shared<QueryOptions>();
    CLI::App* command = app.add_subcommand("query");
    SetCommandHelp(
        *command,
        {.summary = "read the MCU's version, checksum and information text",
         .description = "Read the MCU's version, checksum and information text as the tool does "
                        "before an update (with its pauses). The log goes to standard error; the "
                        "MCU checksum, when the MCU reported it, to standard output as eight "
                        "hexadecimal digits.",
         .exits = {{"0", "the version query succeeded"},
                   {"1", "the MCU did not answer it"},
                   {"2",
                    "the port could not be opened (or another program holds it open, "
                    "unless --force-port is given)"},
                   kBadUsageStatus,
                   kStoppedStatus},
         .examples = {"velkor-flash query --port /dev/ttyUSB0 --model j5",
                      "velkor-flash query --port /dev/ttyUSB0 --model r3360 --json"}});
    command->add_option("--port", options->port, "serial device, for example /dev/ttyUSB0")
        ->required()
        ->option_text("DEVICE");
    AddModelOption(*command, options->model);
    AddRecordOptions(*command, options->record);
    AddForcePortOption(*command, options->force_port);
    AddConnectAttemptsOption(*command, options->connect_attempts);
    auto outputs = std::make_shared<OutputOptions>();
    AddOutputOptions(*command, *outputs);
    command->callback([options, outputs, &exit_code, &signals] {
        if (!CheckRunFiles({{options->port}, {}, {}, outputs->log_file, options->record.file})) {
            exit_code = kExitUsage;
            return;
        }
        if (!RecordReady(options->record)) {
            exit_code = kExitRecordFailed;
            return;
        }
        exit_code = RunQuery(*options, *outputs, signals.Arm());
    });
}

}  // namespace velkor
