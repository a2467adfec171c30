// velkor-sim: a simulated head unit on a pseudo-terminal. It prints the device path as the
// first line of standard output and answers as the unit's MCU until SIGINT, SIGTERM or SIGHUP;
// SIGUSR1 and SIGUSR2 take the unit off and plug the next one in, as on a production fixture
// whose adapter stays. Its firmware subcommand writes firmware files for such a unit.
#include <signal.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/control_signals.h"
#include "sim/device_symlink.h"
#include "sim/firmware_command.h"
#include "sim/flash_file.h"
#include "sim/mcu_simulator.h"
#include "sim/option_text.h"
#include "sim/pseudo_terminal.h"
#include "sim/pty_transport.h"
#include "sim/unit_names.h"

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
    std::string flash_out;
    std::string slave_flash_out;
    std::string checksum_range;
    std::uint32_t reply_delay_ms = 2;
    std::string record_status;
    std::vector<std::string> fault_scope;
    std::size_t fault_times = 0;
    bool silent = false;
    bool no_ack = false;
    std::string noise;
    std::size_t cut_reply_after = 0;
    std::uint32_t trickle_ms = 0;
    std::uint32_t pace_baud = 0;
    std::size_t drop_after_bytes = 0;
    std::uint32_t drop_at_ms = 0;
    std::size_t stop_after_records = 0;
    std::size_t no_dot_after_records = 0;
    std::size_t drop_after_records = 0;
    std::size_t corrupt_record = 0;
    bool no_return = false;
    std::string symlink;
    bool start_unplugged = false;
    bool start_in_boot_loader = false;
    // What SIGUSR2 plugs in after SIGUSR1: "fresh", the next unit as the options set the
    // first; "same", the unit the power was cut from, as the cut left it.
    std::string replug = "fresh";
    bool verbose = false;
};

void AddUnitOptions(CLI::App& app, SimOptions& options) {
    AddModelName(app, options.model,
                 "head-unit model: r3360 (ASCII) or j5 (frames); required unless a subcommand "
                 "is given");
    AddFamilyName(app, options.family,
                  "MCU family: decides the records the boot loader takes, the default texts "
                  "and the default checksum range; without it the unit cannot be programmed");
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
    app.add_option("--flash-out", options.flash_out,
                   "at the end, write the main MCU's whole flash (256 KiB) to FILE, of the "
                   "last unit plugged in")
        ->option_text("FILE");
    app.add_option("--slave-flash-out", options.slave_flash_out,
                   "at the end, write the slave MCU's whole flash (256 KiB) to FILE, of the "
                   "last unit plugged in")
        ->option_text("FILE");
    app.add_option("--checksum-range", options.checksum_range,
                   "flash addresses FIRST-LAST (inclusive) the checksum sums (default: the "
                   "family's firmware range, or all without --family)")
        ->check(CLI::Validator(
            [](std::string& text) {
                return ParseFlashRange(text) ? std::string() : "not a range inside the flash";
            },
            ""))
        ->option_text("FIRST-LAST");
    app.add_option("--reply-delay", options.reply_delay_ms,
                   "milliseconds the MCU takes before it answers (default 2)")
        ->option_text("MS");
    app.add_option("--record-status", options.record_status,
                   "characters the boot loader sends before the '.' of each record (escapes)")
        ->check(EscapedText())
        ->option_text("TEXT");
}

void AddFaultOptions(CLI::App& app, SimOptions& options) {
    auto* faults = app.add_option_group("Faults");
    faults
        ->add_option("--fault-on", options.fault_scope,
                     "commands the reply faults hit (default: all)")
        ->delimiter(',')
        ->check(
            CLI::IsMember({"version", "checksum", "information", "configuration", "programming"}))
        ->option_text("version,checksum,information,configuration,programming");
    faults
        ->add_option("--fault-times", options.fault_times,
                     "the reply faults hit only the first N commands, then the unit answers")
        ->option_text("N");
    faults->add_flag("--silent", options.silent,
                     "answer nothing at all (nor act on the option or programming entry command)");
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
                     "pace every byte in both directions at this line speed (8N1)")
        ->option_text("RATE");
    faults
        ->add_option("--drop-after-bytes", options.drop_after_bytes,
                     "hang the line up 20 ms after the MCU has sent this many bytes")
        ->option_text("N");
    faults
        ->add_option("--drop-at", options.drop_at_ms,
                     "hang the line up this many milliseconds after the start")
        ->option_text("MS");
    faults
        ->add_option("--stop-after-records", options.stop_after_records,
                     "the boot loader answers K records, then nothing more")
        ->option_text("K");
    faults
        ->add_option("--no-dot-after-records", options.no_dot_after_records,
                     "after K records the boot loader sends status characters ('#' without "
                     "--record-status) but no '.'")
        ->option_text("K");
    faults
        ->add_option("--drop-after-records", options.drop_after_records,
                     "hang the line up 20 ms after the boot loader answered record K (0: "
                     "right after the entry command)")
        ->option_text("K");
    faults
        ->add_option("--corrupt-record", options.corrupt_record,
                     "the boot loader answers record K as every other but drops its bytes, so "
                     "the flash misses them")
        ->check(CLI::PositiveNumber)
        ->option_text("K");
    faults->add_flag("--no-return", options.no_return,
                     "after the end record of an update, answer nothing more (the unit does "
                     "not come back from its reset)");
}

unsigned ScopeOf(const std::vector<std::string>& names) {
    if (names.empty()) {
        return kScopeAll;
    }
    unsigned scope = 0;
    for (const auto& name : names) {
        scope |= name == "version"         ? kScopeVersion
                 : name == "checksum"      ? kScopeChecksum
                 : name == "information"   ? kScopeInformation
                 : name == "configuration" ? kScopeConfiguration
                                           : kScopeProgramming;
    }
    return scope;
}

bool BuildConfig(const CLI::App& app, const SimOptions& options, SimConfig& config) {
    config = DefaultSimConfig(options.model, options.family);
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
    config.record_status = *DecodeEscapes(options.record_status);

    SimFaults& faults = config.faults;
    const auto* group = app.get_option_group("Faults");
    faults.scope = ScopeOf(options.fault_scope);
    faults.silent = options.silent;
    faults.no_ack = options.no_ack;
    faults.noise = *DecodeEscapes(options.noise);
    if (group->count("--fault-times") != 0) {
        faults.fault_times = options.fault_times;
    }
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
    if (group->count("--stop-after-records") != 0) {
        faults.stop_after_records = options.stop_after_records;
    }
    if (group->count("--no-dot-after-records") != 0) {
        faults.no_dot_after_records = options.no_dot_after_records;
    }
    if (group->count("--drop-after-records") != 0) {
        faults.drop_after_records = options.drop_after_records;
    }
    if (group->count("--corrupt-record") != 0) {
        faults.corrupt_record = options.corrupt_record;
    }
    faults.no_return = options.no_return;
    return true;
}

void LogLine(std::string_view text) {
    std::fprintf(stderr, "velkor-sim: %.*s\n", static_cast<int>(text.size()), text.data());
}

// Both flashes of the last unit plugged in (a unit taken off keeps its flash), for comparison
// with the firmware files programmed.
bool SaveFlashes(const SimOptions& options, const SimulatedUnit& unit) {
    bool saved = true;
    const std::pair<const std::string*, const FlashMemory*> outputs[] = {
        {&options.flash_out, &unit.main_flash()},
        {&options.slave_flash_out, &unit.slave_flash()},
    };
    for (const auto& [file, flash] : outputs) {
        if (std::string error; !file->empty() && !SaveFlashFile(*file, *flash, error)) {
            std::fprintf(stderr, "velkor-sim: %s\n", error.c_str());
            saved = false;
        }
    }
    return saved;
}

int Serve(const CLI::App& app, const SimOptions& options) {
    SimConfig config;
    if (!BuildConfig(app, options, config)) {
        return kExitFailed;
    }
    // Before any other thread exists, so that no thread takes the signals by default.
    ControlSignals signals;
    ::signal(SIGPIPE, SIG_IGN);  // a closed log stream must not end the simulator
    if (!signals.ok()) {
        std::fprintf(stderr, "velkor-sim: cannot watch for signals: %s\n", std::strerror(errno));
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
    // Every unit plugged in starts as the command line set the first one.
    const auto fresh_unit = [&config, &clock, &options] {
        auto unit = std::make_unique<McuSimulator>(config, clock.NowMs());
        if (options.verbose) {
            unit->SetEventLog(LogLine);
        }
        if (options.start_in_boot_loader) {
            unit->StartInBootLoader();
        }
        return unit;
    };
    std::unique_ptr<McuSimulator> simulator = fresh_unit();
    PtyTransport transport(terminal, *simulator, clock);
    if (options.verbose) {
        transport.SetTrafficLog(LogLine);
    }
    if (options.start_unplugged) {
        transport.Unplug();
    }
    // As udev removes an adapter's by-id link when its line hangs up: a watcher must not open
    // the freed terminal under the old name once the kernel gives it to someone else.
    transport.SetHangUpHandler([&symlink] {
        symlink.Remove();
        LogLine("line hung up");
    });
    std::fprintf(stderr,
                 "velkor-sim: %s unit, MCU family %s, MCU checksum %08X, on %s; "
                 "end with Ctrl-C\n",
                 options.model == kAppTypeJ5 ? "J5" : "R3360", FamilyName(options.family),
                 simulator->unit().Checksum(), terminal.device_path().c_str());
    if (options.start_unplugged) {
        LogLine("no unit plugged in yet (SIGUSR2 plugs one in)");
    }
    std::printf("%s\n", terminal.device_path().c_str());
    std::fflush(stdout);

    int error = 0;
    for (;;) {
        error = transport.Serve(signals.fd());
        const auto event = error == 0 ? signals.Take() : std::nullopt;
        if (!event || *event == ControlEvent::kStop) {
            break;
        }
        if (*event == ControlEvent::kUnplug) {
            transport.Unplug();
            LogLine("unit unplugged");
        } else if (options.replug == "same") {
            transport.Unplug();  // a unit still on the line is cut first
            simulator->PowerOn();
            transport.PlugIn(*simulator);
            LogLine(simulator->programming() ? "same unit plugged in again, in its boot loader"
                                             : "same unit plugged in again");
        } else {
            auto next = fresh_unit();
            transport.PlugIn(*next);
            simulator = std::move(next);
            LogLine("next unit plugged in");
        }
    }
    if (error != 0) {
        std::fprintf(stderr, "velkor-sim: the pseudo-terminal failed: %s\n", std::strerror(error));
    }
    const bool saved = SaveFlashes(options, simulator->unit());
    return error == 0 && saved ? kExitStopped : kExitFailed;
}

}  // namespace
}  // namespace velkor::sim

int main(int argc, char** argv) {
    using namespace velkor::sim;
    CLI::App app{
        "velkor-sim: a simulated head unit on a pseudo-terminal. Prints the device path as the "
        "first line of standard output, then answers as the MCU (queries, boot loader, unit "
        "options) until SIGINT, SIGTERM or SIGHUP. As on a production fixture, whose adapter "
        "and so the device stay: SIGUSR1 unplugs the unit (it answers nothing, a programming "
        "under way stops dead), SIGUSR2 plugs in the next unit, fresh as the options set it "
        "(or, with --replug same, the same unit again); each logs a line on standard error. A "
        "line hung up removes the --symlink. Exit status: 0 ended by a signal, 1 could not "
        "start, the pseudo-terminal failed or a flash could not be saved, 64 bad usage.",
        "velkor-sim"};
    app.set_version_flag("--version", "velkor-sim " VELKOR_VERSION);
    SimOptions options;
    AddUnitOptions(app, options);
    AddFaultOptions(app, options);
    app.add_option("--symlink", options.symlink,
                   "also make PATH a symbolic link to the device, renamed into place whole, "
                   "removed at the end if still ours; an existing symbolic link is replaced, "
                   "any other file refused")
        ->option_text("PATH");
    app.add_flag("--start-unplugged", options.start_unplugged,
                 "start with no unit on the device: SIGUSR2 plugs one in");
    app.add_flag("--start-in-boot-loader", options.start_in_boot_loader,
                 "each unit starts in its boot loader, as one whose update was cut: it answers "
                 "no query and takes a record stream (needs --family)")
        ->needs("--family");
    app.add_option("--replug", options.replug,
                   "what SIGUSR2 plugs in after SIGUSR1 cut the power: fresh (default), the next "
                   "unit as the options set it; same, the unit that was cut, its flash as it was, "
                   "in its boot loader when the cut came mid-stream")
        ->check(CLI::IsMember({"fresh", "same"}))
        ->option_text("fresh|same");
    app.add_flag("-v,--verbose", options.verbose, "log every byte and command on standard error");
    int firmware_exit = 0;
    AddFirmwareCommand(app, firmware_exit);
    app.require_subcommand(0, 1);
    try {
        app.parse(argc, argv);
        if (app.get_subcommands().empty() && app.count("--model") == 0) {
            throw CLI::RequiredError("--model");
        }
    } catch (const CLI::Success& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kExitUsage;
    }
    if (!app.get_subcommands().empty()) {
        return firmware_exit;
    }
    return Serve(app, options);
}
