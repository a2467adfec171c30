// velkor-sim: a simulated head unit on a pseudo-terminal. It prints the device path as the
// first line of standard output and answers as the unit's MCU until SIGINT or SIGTERM.
#include <signal.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/device_symlink.h"
#include "sim/flash_file.h"
#include "sim/mcu_simulator.h"
#include "sim/option_text.h"
#include "sim/pseudo_terminal.h"
#include "sim/pty_transport.h"
#include "sim/stop_signals.h"

namespace velkor::sim {
namespace {

constexpr int kExitStopped = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 64;

struct SimOptions {
    AppType model = kAppTypeUndetermined;
    McuType family = kMcuTypeUndetermined;
    std::string version_text;
    std::string information_text;
    int flash_fill = kErasedFlashByte;
    std::string flash_file;
    std::string checksum_range;
    std::uint32_t reply_delay_ms = 2;
    std::vector<std::string> fault_scope;
    bool silent = false;
    bool no_ack = false;
    std::string noise;
    std::size_t cut_reply_after = 0;
    std::uint32_t trickle_ms = 0;
    std::uint32_t pace_baud = 0;
    std::size_t drop_after_bytes = 0;
    std::uint32_t drop_at_ms = 0;
    std::string symlink;
    bool verbose = false;
};

const char* FamilyName(McuType family) {
    switch (family) {
        case kMcuTypeStm8:
            return "stm8";
        case kMcuTypeNec:
            return "nec";
        case kMcuTypeM3:
            return "m3";
        default:
            return "unspecified";
    }
}

// Texts may carry escapes such as \r\n or \xFF; a malformed one is refused while parsing.
CLI::Validator EscapedText() {
    return CLI::Validator(
        [](std::string& text) {
            return DecodeEscapes(text) ? std::string() : "malformed escape in '" + text + "'";
        },
        "TEXT");
}

void AddOptions(CLI::App& app, SimOptions& options) {
    static const std::map<std::string, AppType> kModels = {{"r3360", kAppTypeR3360},
                                                           {"j5", kAppTypeJ5}};
    static const std::map<std::string, McuType> kFamilies = {
        {"stm8", kMcuTypeStm8}, {"nec", kMcuTypeNec}, {"m3", kMcuTypeM3}};

    app.add_option("--model", options.model, "head-unit model: r3360 (ASCII) or j5 (frames)")
        ->required()
        ->transform(CLI::CheckedTransformer(kModels, CLI::ignore_case).description(""))
        ->option_text("r3360|j5");
    app.add_option("--family", options.family, "MCU family (shown only, for now)")
        ->transform(CLI::CheckedTransformer(kFamilies, CLI::ignore_case).description(""))
        ->option_text("stm8|nec|m3");
    app.add_option("--version-text", options.version_text,
                   "text of the version reply (escapes \\r \\n \\t \\0 \\\\ \\xHH)")
        ->check(EscapedText())
        ->option_text("TEXT");
    app.add_option("--info-text", options.information_text,
                   "bytes sent after the acknowledgement of the information query (escapes)")
        ->check(EscapedText())
        ->option_text("TEXT");
    app.add_option("--flash-fill", options.flash_fill,
                   "value of every flash byte the flash file does not set (default 0xFF, erased)")
        ->check(CLI::Range(0, 255))
        ->option_text("BYTE");
    app.add_option("--flash-file", options.flash_file,
                   "raw binary placed in the flash from address 0 (at most 256 KiB)")
        ->check(CLI::ExistingFile)
        ->option_text("FILE");
    app.add_option("--checksum-range", options.checksum_range,
                   "flash addresses FIRST-LAST (inclusive) the checksum sums (default: all)")
        ->check(CLI::Validator(
            [](std::string& text) {
                return ParseFlashRange(text) ? std::string() : "not a range inside the flash";
            },
            ""))
        ->option_text("FIRST-LAST");
    app.add_option("--reply-delay", options.reply_delay_ms,
                   "milliseconds the MCU takes before it answers (default 2)")
        ->option_text("MS");

    auto* faults = app.add_option_group("Faults");
    faults
        ->add_option("--fault-on", options.fault_scope,
                     "queries the reply faults hit (default: all)")
        ->delimiter(',')
        ->check(CLI::IsMember({"version", "checksum", "information"}))
        ->option_text("version,checksum,information");
    faults->add_flag("--silent", options.silent, "answer nothing at all");
    faults->add_flag("--no-ack", options.no_ack, "send replies without their acknowledgement");
    faults->add_option("--noise", options.noise, "unrelated bytes sent before every reply")
        ->check(EscapedText())
        ->option_text("TEXT");
    faults
        ->add_option("--cut-reply", options.cut_reply_after,
                     "send only the first N bytes of each reply after the acknowledgement")
        ->option_text("N");
    faults
        ->add_option("--trickle", options.trickle_ms,
                     "send the reply bytes one a second, or one every MS milliseconds")
        ->expected(0, 1)
        ->default_str("1000")
        ->option_text("[MS]");
    faults
        ->add_option("--baud", options.pace_baud,
                     "pace every byte at this line speed (8N1) instead of sending at once")
        ->option_text("RATE");
    faults
        ->add_option("--drop-after-bytes", options.drop_after_bytes,
                     "hang the line up 20 ms after the MCU has sent this many bytes")
        ->option_text("N");
    faults
        ->add_option("--drop-at", options.drop_at_ms,
                     "hang the line up this many milliseconds after the start")
        ->option_text("MS");

    app.add_option("--symlink", options.symlink,
                   "also make PATH a symbolic link to the device (removed at the end)")
        ->option_text("PATH");
    app.add_flag("-v,--verbose", options.verbose, "log every byte and command on standard error");
}

unsigned ScopeOf(const std::vector<std::string>& names) {
    if (names.empty()) {
        return kScopeAllQueries;
    }
    unsigned scope = 0;
    for (const auto& name : names) {
        scope |= name == "version"    ? kScopeVersion
                 : name == "checksum" ? kScopeChecksum
                                      : kScopeInformation;
    }
    return scope;
}

bool BuildConfig(const CLI::App& app, const SimOptions& options, SimConfig& config) {
    config = DefaultSimConfig(options.model);
    config.family = options.family;
    if (app.count("--version-text") != 0) {
        config.version_text = *DecodeEscapes(options.version_text);
    }
    if (app.count("--info-text") != 0) {
        config.information_text = *DecodeEscapes(options.information_text);
    }
    config.main_flash.Fill(static_cast<std::uint8_t>(options.flash_fill));
    if (!options.flash_file.empty()) {
        std::string error;
        if (!LoadFlashFile(options.flash_file, config.main_flash, error)) {
            std::fprintf(stderr, "velkor-sim: %s\n", error.c_str());
            return false;
        }
    }
    if (!options.checksum_range.empty()) {
        config.checksum_range = *ParseFlashRange(options.checksum_range);
    }
    config.reply_delay_ms = options.reply_delay_ms;

    SimFaults& faults = config.faults;
    const auto* group = app.get_option_group("Faults");
    faults.scope = ScopeOf(options.fault_scope);
    faults.silent = options.silent;
    faults.no_ack = options.no_ack;
    faults.noise = *DecodeEscapes(options.noise);
    if (group->count("--cut-reply") != 0) {
        faults.cut_reply_after = options.cut_reply_after;
    }
    if (group->count("--trickle") != 0) {
        faults.trickle_ms = options.trickle_ms;
    }
    faults.pace_baud = options.pace_baud;
    if (group->count("--drop-after-bytes") != 0) {
        faults.drop_after_bytes = options.drop_after_bytes;
    }
    if (group->count("--drop-at") != 0) {
        faults.drop_at_ms = options.drop_at_ms;
    }
    return true;
}

void LogLine(std::string_view text) {
    std::fprintf(stderr, "velkor-sim: %.*s\n", static_cast<int>(text.size()), text.data());
}

int Run(const CLI::App& app, const SimOptions& options) {
    SimConfig config;
    if (!BuildConfig(app, options, config)) {
        return kExitFailed;
    }
    // Before any other thread exists, so that no thread takes the stop signals by default.
    StopSignals stop;
    ::signal(SIGPIPE, SIG_IGN);  // a closed log stream must not end the simulator
    if (!stop.ok()) {
        std::fprintf(stderr, "velkor-sim: cannot watch for stop signals: %s\n",
                     std::strerror(errno));
        return kExitFailed;
    }
    PseudoTerminal terminal;
    if (const int error = terminal.Open(); error != 0) {
        std::fprintf(stderr, "velkor-sim: cannot open a pseudo-terminal: %s\n",
                     std::strerror(error));
        return kExitFailed;
    }
    DeviceSymlink symlink;
    if (std::string error; !options.symlink.empty() &&
                           !symlink.Create(options.symlink, terminal.device_path(), error)) {
        std::fprintf(stderr, "velkor-sim: %s\n", error.c_str());
        return kExitFailed;
    }

    RealClock clock;
    McuSimulator simulator(std::move(config), clock.NowMs());
    PtyTransport transport(terminal, simulator, clock);
    if (options.verbose) {
        simulator.SetEventLog(LogLine);
        transport.SetTrafficLog(LogLine);
    }
    std::fprintf(stderr,
                 "velkor-sim: %s unit, MCU family %s, MCU checksum %08X, on %s; "
                 "end with Ctrl-C\n",
                 options.model == kAppTypeJ5 ? "J5" : "R3360", FamilyName(options.family),
                 simulator.unit().Checksum(), terminal.device_path().c_str());
    std::printf("%s\n", terminal.device_path().c_str());
    std::fflush(stdout);

    if (const int error = transport.Serve(stop.fd()); error != 0) {
        std::fprintf(stderr, "velkor-sim: the pseudo-terminal failed: %s\n", std::strerror(error));
        return kExitFailed;
    }
    return kExitStopped;
}

}  // namespace
}  // namespace velkor::sim

int main(int argc, char** argv) {
    using namespace velkor::sim;
    CLI::App app{
        "velkor-sim: a simulated head unit on a pseudo-terminal. Prints the device path as the "
        "first line of standard output, then answers as the MCU until SIGINT or SIGTERM. Exit "
        "status: 0 ended by a signal, 1 could not start or the pseudo-terminal failed, 64 bad "
        "usage."};
    SimOptions options;
    AddOptions(app, options);
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kExitUsage;
    }
    return Run(app, options);
}
