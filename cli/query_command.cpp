#include "cli/query_command.h"

#include <cstdio>
#include <memory>
#include <string>

#include "app/report.h"
#include "cli/model_option.h"
#include "cli/terminal_sink.h"
#include "link/ascii_link.h"
#include "link/frame_link.h"
#include "link/link_context.h"
#include "platform/clock.h"
#include "platform/posix_serial_port.h"

namespace velkor {
namespace {

// Pauses of the update sequence between its queries.
constexpr std::uint32_t kPauseBeforeChecksumMs = 500;
constexpr std::uint32_t kPauseBeforeInformationMs = 100;

struct QueryOptions {
    std::string port;
    AppType model = kAppTypeUndetermined;
};

std::unique_ptr<CMcuLink> MakeLink(AppType model, LinkContext& context) {
    if (model == kAppTypeJ5) {
        return std::make_unique<CFrameLink>(context);
    }
    return std::make_unique<CAsciiLink>(context);
}

int RunQuery(const QueryOptions& options) {
    TerminalSink sink(stderr);
    ScopedReportSink scope(sink);
    RealClock clock;
    PosixSerialPort port;
    LinkContext context(port, clock);
    const auto link = MakeLink(options.model, context);

    // A device that cannot be opened has already been explained in the log.
    if (const int opened = link->Open(options.port, link->baud_rate()); opened != kOpenOk) {
        if (opened != kOpenNoDevice) {
            std::fprintf(stderr, "velkor-flash: %s does not take the serial line settings\n",
                         options.port.c_str());
        }
        return kQueryPortFailed;
    }
    if (link->QueryVersion() != kLinkOk) {
        return kQueryNoVersion;
    }
    context.Pause(kPauseBeforeChecksumMs);
    if (link->QueryChecksum() == kLinkOk) {
        std::printf("%08X\n", context.replies.checksum);
        std::fflush(stdout);
    } else {
        std::fprintf(stderr, "velkor-flash: the MCU did not report its checksum\n");
    }
    link->SendPrelude();
    context.Pause(kPauseBeforeInformationMs);
    link->QueryInformation();
    // The information text is free bytes; end its last line so the shell prompt starts clean.
    if (const auto text = context.replies.InformationText(); !text.empty() && text.back() != '\n') {
        AppendLog("\r\n");
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
