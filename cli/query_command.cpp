#include "cli/query_command.h"

#include <cstdio>
#include <string>

#include "cli/command_help.h"
#include "cli/command_output.h"
#include "cli/exit_codes.h"
#include "cli/held_port.h"
#include "cli/model_option.h"
#include "cli/output_options.h"
#include "cli/port_holders.h"
#include "cli/port_options.h"
#include "cli/run_output.h"
#include "platform/clock.h"
#include "record/session_facts.h"
#include "session/update_session.h"

namespace velkor {
namespace {

struct QueryOptions {
    std::string port;
    AppType model = kAppTypeUndetermined;
    RecordOptions record;
    bool force_port = false;
};

int RunQuerySteps(UpdateSession& session, const QueryOptions& options, const std::string& held_by,
                  RunRecord& record) {
    if (session.context.stopping()) {
        return kQueryPortFailed;  // stopped before it began: the port is not even opened
    }
    if (!held_by.empty()) {
        session.report.AppendError(HeldPortLine(options.port, held_by));
        return kQueryPortFailed;
    }
    // A device that cannot be opened has already been explained in the log.
    if (const int opened = session.OpenLink(); opened != kOpenOk) {
        if (opened != kOpenNoDevice) {
            std::string line = "velkor-flash: ";
            line += options.port;
            line += " does not take the serial line settings\r\n";
            session.report.AppendError(line);
        }
        return kQueryPortFailed;
    }
    if (session.ReadVersion() != kLinkOk) {
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
    TakeUnitFacts(session, record);
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
    RunRecord record = StartRecord("query");
    record.port = options.port;
    record.model = options.model;
    int exit;
    {
        CommandOutput output(outputs);
        if (!output.Open({{options.port, "the serial device"}})) {
            return kExitUsage;
        }
        const std::string held_by = options.force_port ? std::string() : HeldBy(options.port);
        RealClock clock;
        const std::uint32_t started_ms = clock.NowMs();
        HeldAfterStop log(output, &stop);
        UpdateSession session(output.port(), clock, {}, &log);
        RunStop::Watch watch(&stop, session.context);
        session.state.app_type = options.model;
        session.state.device = options.port;
        session.context.port_source = kPortSourceCommandLine;
        exit = RunQuerySteps(session, options, held_by, record);
        record.duration_ms = clock.NowMs() - started_ms;
        record.result = ResultWord(exit);
        if (stop.signal() != 0 && exit != kQueryOk) {
            log.AppendClosingLine(kLogInterruptedNothingWritten);
            exit = kExitSignalBase + stop.signal();
            record.result = "interrupted";
        } else {
            log.PassOn();  // not stopped, or only after its last wait
        }
    }
    record.exit_code = exit;
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
    command->add_flag("--json", options->record.json,
                      "print the texts and checksum the MCU reported as one JSON object on "
                      "standard output instead of the checksum line");
    AddForcePortOption(*command, options->force_port);
    auto outputs = std::make_shared<OutputOptions>();
    AddOutputOptions(*command, *outputs);
    command->callback([options, outputs, &exit_code, &signals] {
        exit_code = RunQuery(*options, *outputs, signals.Arm());
    });
}

}  // namespace velkor
