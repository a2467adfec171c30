#include "cli/query_command.h"

#include <cstdio>
#include <string>

#include "cli/command_output.h"
#include "cli/exit_codes.h"
#include "cli/model_option.h"
#include "cli/output_options.h"
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
};

int RunQuerySteps(UpdateSession& session, const QueryOptions& options, RunRecord& record) {
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

int RunQuery(const QueryOptions& options, const OutputOptions& outputs) {
    RunRecord record = StartRecord("query");
    record.port = options.port;
    record.model = options.model;
    int exit;
    {
        CommandOutput output(outputs);
        if (!output.Open({{options.port, "the serial device"}})) {
            return kExitUsage;
        }
        RealClock clock;
        const std::uint32_t started_ms = clock.NowMs();
        UpdateSession session(output.port(), clock, {}, &output);
        session.state.app_type = options.model;
        session.state.device = options.port;
        session.context.port_source = kPortSourceCommandLine;
        exit = RunQuerySteps(session, options, record);
        record.duration_ms = clock.NowMs() - started_ms;
    }
    record.result = ResultWord(exit);
    record.exit_code = exit;
    return FinishRun(options.record, record, exit);
}

}  // namespace

void AddQueryCommand(CLI::App& app, int& exit_code) {
    auto options = std::make_shared<QueryOptions>();
    CLI::App* command = app.add_subcommand(
        "query",
        "Read the MCU's version, checksum and information text as the tool does before an "
        "update (with its pauses). The log goes to standard error; the MCU checksum, when the "
        "MCU reported it, to standard output as eight hexadecimal digits. Exit status: 0 the "
        "version query succeeded, 1 the MCU did not answer it, 2 the port could not be opened.");
    command->add_option("--port", options->port, "serial device, for example /dev/ttyUSB0")
        ->required()
        ->option_text("DEVICE");
    AddModelOption(*command, options->model);
    command->add_flag("--json", options->record.json,
                      "print the texts and checksum the MCU reported as one JSON object on "
                      "standard output instead of the checksum line");
    auto outputs = std::make_shared<OutputOptions>();
    AddOutputOptions(*command, *outputs);
    command->callback([options, outputs, &exit_code] { exit_code = RunQuery(*options, *outputs); });
}

}  // namespace velkor
