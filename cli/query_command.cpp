#include "cli/query_command.h"

#include <cstdio>
#include <string>

#include "cli/model_option.h"
#include "cli/terminal_sink.h"
#include "platform/clock.h"
#include "platform/posix_serial_port.h"
#include "session/update_session.h"

namespace velkor {
namespace {

struct QueryOptions {
    std::string port;
    AppType model = kAppTypeUndetermined;
};

int RunQuery(const QueryOptions& options) {
    TerminalSink sink(stderr);
    RealClock clock;
    PosixSerialPort port;
    UpdateSession session(port, clock, {}, &sink);
    session.state.app_type = options.model;
    session.state.device = options.port;
    session.context.port_source = kPortSourceCommandLine;

    // A device that cannot be opened has already been explained in the log.
    if (const int opened = session.OpenLink(); opened != kOpenOk) {
        if (opened != kOpenNoDevice) {
            std::fprintf(stderr, "velkor-flash: %s does not take the serial line settings\n",
                         options.port.c_str());
        }
        return kQueryPortFailed;
    }
    if (session.ReadVersion() != kLinkOk) {
        return kQueryNoVersion;
    }
    if (session.ReadChecksum() == kLinkOk) {
        std::printf("%08X\n", session.context.replies.checksum);
        std::fflush(stdout);
    } else {
        std::fprintf(stderr, "velkor-flash: the MCU did not report its checksum\n");
    }
    session.ReadInformation();
    // The information text is free bytes; end its last line so the shell prompt starts clean.
    if (const auto text = session.context.replies.InformationText();
        !text.empty() && text.back() != '\n') {
        session.report.AppendLog("\r\n");
    }
    return kQueryOk;
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
    command->callback([options, &exit_code] { exit_code = RunQuery(*options); });
}

}  // namespace velkor
