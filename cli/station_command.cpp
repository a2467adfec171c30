#include "cli/station_command.h"

#include <cstdio>
#include <filesystem>
#include <memory>

#include "cli/command_help.h"
#include "cli/mcu_family_option.h"
#include "cli/model_option.h"
#include "cli/option_checks.h"
#include "cli/port_options.h"
#include "cli/record_options.h"
#include "platform/append_file.h"
#include "runs/exit_codes.h"
#include "runs/firmware_file_problem.h"
#include "runs/run_output.h"
#include "runs/several_ports.h"
#include "runs/update_run.h"
#include "station/station.h"

namespace velkor {
namespace {

constexpr const char* kDefaultWatch = "/dev/serial/by-id";

// What the option parser cannot say: which options go together. Said on standard error; false
// when the command line will not do.
bool CheckCombination(const StationOptions& options) {
    const auto refuse = [](const char* message) {
        std::fprintf(stderr, "velkor-flash: %s\n", message);
        return false;
    };
    if (options.file.empty() == options.firmware_dir.empty()) {
        return refuse("give either FILE or --firmware-dir");
    }
    const int sources =
        !options.ports.empty() + !options.ports_from.empty() + !options.watch.empty();
    if (sources != 1) {
        return refuse("give either --port, --ports-from or --watch");
    }
    if (!options.match.empty() && options.watch.empty()) {
        return refuse("--match goes with --watch");
    }
    if (!options.firmware_dir.empty() && options.slave) {
        return refuse(
            "--firmware-dir chooses by the unit's identity, which a slave file is "
            "not checked against: give the slave's FILE");
    }
    if (!options.log_dir.empty()) {
        // Made when missing, as write makes the folder of several ports' logs.
        std::error_code error;
        std::filesystem::create_directories(options.log_dir, error);
        if (!std::filesystem::is_directory(options.log_dir)) {
            std::fprintf(stderr, "velkor-flash: --log %s is not a folder%s%s\n",
                         options.log_dir.c_str(), error ? ": " : "",
                         error ? error.message().c_str() : "");
            return false;
        }
    }
    // Each slot's log is made there as units come: nobody else may put links in its place.
    if (const std::string why = options.log_dir.empty() ? "" : FolderRefusal(options.log_dir);
        !why.empty()) {
        std::fprintf(stderr, "velkor-flash: --log %s: %s\n", options.log_dir.c_str(), why.c_str());
        return false;
    }
    if (!options.firmware_dir.empty() && !std::filesystem::is_directory(options.firmware_dir)) {
        std::fprintf(stderr, "velkor-flash: --firmware-dir %s is not a folder\n",
                     options.firmware_dir.c_str());
        return false;
    }
    return true;
}

}  // namespace

void AddStationCommand(CLI::App& app, int& exit_code, InterruptSignals& signals) {
    auto options = std::make_shared<StationOptions>();
    auto verify = std::make_shared<bool>(true);
    auto http = std::make_shared<std::string>();
    CLI::App* command = app.add_subcommand("station");
    SetCommandHelp(
        *command,
        {.summary = "update every unit plugged into a fixture, one after another in each slot",
         .description =
             "Each --port (or line of --ports-from) is a slot of the fixture whose adapter "
             "stays plugged in; with --watch, every serial device link that appears in the "
             "folder (default /dev/serial/by-id), and whose name matches --match, is a slot "
             "until its link goes: USB adapters plugged in and pulled out with their units.\n\n"
             "Each slot runs a cycle of its own, side by side with the others: it sends the "
             "version query every --poll-interval until a unit answers; updates it as write "
             "does (a unit that already holds the file is left alone unless --always is given, "
             "a unit the file is not for is refused); shows the result and appends the record "
             "line (\"command\": \"station\"); then waits until the unit is gone (its link "
             "goes, the line hangs up, or it misses the version query twice) before it waits "
             "for the next. A unit that stays on the fixture is never updated twice. With "
             "--firmware-dir, the file of each unit is the one file of the folder whose "
             "description the check confirms for it.\n\n"
             "On a terminal a board shows a line per slot and the totals; otherwise each event "
             "is a line on standard error, prefixed with its slot. --log names a folder with a "
             "log file per slot. The first SIGINT or SIGTERM starts no new unit and lets the "
             "units being programmed finish; a second interrupts them between two records; a "
             "third ends at once. At the end a summary line goes to standard output.",
         .exits = {{"0", "every unit was updated or up to date"},
                   {"1-7", "the highest status among the units, as write gives it"},
                   {"64",
                    "bad usage: an unknown option, a missing or wrong value, files that clash; "
                    "or --http cannot listen where asked; nothing was sent or written"},
                   {"128+N", "ended by signal N (SIGINT 130, SIGTERM 143)"}},
         .examples = {"velkor-flash station --model j5 --mcu m3 --watch --record units.jsonl "
                      "fw.hex",
                      "velkor-flash station --model r3360 --mcu stm8 --port /dev/ttyUSB0 --port "
                      "/dev/ttyUSB1 --firmware-dir /srv/firmware"}});
    AddModelOption(*command, options->model);
    AddMcuOption(*command, options->mcu);
    command
        ->add_option("--port", options->ports,
                     "serial device of a slot of the fixture; once per slot")
        ->expected(1)
        // FILE is optional here: without this, the parser gives it to the last --port.
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->option_text("DEVICE");
    command
        ->add_option("--ports-from", options->ports_from,
                     "the slots' serial devices, one a line ('#' begins a comment)")
        ->option_text("FILE");
    command
        ->add_option("--watch", options->watch,
                     "a slot for every serial device link in DIR (default /dev/serial/by-id)")
        ->expected(0, 1)
        ->default_str(kDefaultWatch)
        ->option_text("[DIR]");
    command
        ->add_option("--match", options->match,
                     "with --watch, only links whose names match this shell pattern")
        ->option_text("GLOB");
    command
        ->add_flag("--allow-pty", options->allow_pty,
                   "with --watch, links to pseudo-terminals are slots too (velkor-sim's units, "
                   "for rehearsal); otherwise only serial devices with hardware behind them")
        ->needs("--watch");
    command
        ->add_option("--max-slots", options->max_slots,
                     "with --watch, take no link as a slot while N are watched (default 64)")
        ->check(WholeNumberFrom(1, 1024, ""))
        ->option_text("N")
        ->needs("--watch");
    command
        ->add_option("--firmware-dir", options->firmware_dir,
                     "choose each unit's file from DIR: the one the check confirms for it")
        ->option_text("DIR");
    AddRecordOptions(*command, options->record, false);
    command->add_option("--log", options->log_dir, "a log file per slot in the folder DIR")
        ->option_text("DIR");
    command
        ->add_option("--poll-interval", options->poll_interval_ms,
                     "how often a slot asks whether a unit is there (default 1000)")
        ->check(WholeNumberFrom(50, 60000, "milliseconds"))
        ->option_text("MS");
    command->add_flag("--always", options->always, "program units that already hold the file too");
    command
        ->add_option("--max-units", options->max_units,
                     "end after N units, whatever their results, with the summary")
        ->check(WholeNumberFrom(1, 1000000, ""))
        ->option_text("N");
    command->add_flag("--slave", options->slave,
                      "program the slave MCU (its file is not checked against the unit)");
    command->add_flag_callback(
        "--no-verify", [verify] { *verify = false; },
        "end each update after \"Update complete\", without the verify");
    AddConnectAttemptsOption(*command, options->connect_attempts);
    command
        ->add_option("--http", *http,
                     "serve a live page of the station, its state as JSON (/api/state) and "
                     "Prometheus metrics (/metrics) on PORT of ADDR (default 127.0.0.1; 0.0.0.0 "
                     "for every network)")
        ->option_text("[ADDR:]PORT");
    auto hosts = std::make_shared<std::vector<std::string>>();
    command
        ->add_option("--http-host", *hosts,
                     "a host name the page is reached by, besides localhost, this machine's "
                     "name and its addresses (repeatable); requests for other names get 421")
        ->option_text("NAME")
        ->needs("--http");
    command->add_option("FILE", options->file, "firmware file for every unit (or --firmware-dir)");
    command->callback([options, verify, http, hosts, &exit_code, &signals] {
        options->verify = *verify;
        if (!http->empty()) {
            std::string why;
            options->http = ParseHttpListen(*http, why);
            if (!options->http) {
                std::fprintf(stderr, "velkor-flash: --http %s: %s\n", http->c_str(), why.c_str());
                exit_code = kExitUsage;
                return;
            }
            options->http->hosts = *hosts;
        }
        if (!CheckCombination(*options)) {
            exit_code = kExitUsage;
            return;
        }
        if (!options->file.empty()) {
            if (const auto problem = FirmwareFileProblem(options->file, options->mcu)) {
                std::fprintf(stderr, "velkor-flash: %s\n", problem->message.c_str());
                exit_code = kWriteNoFile;
                return;
            }
        }
        std::vector<KeptFile> kept = {{options->file, "the firmware file"},
                                      {options->ports_from, "the port list"}};
        for (const std::string& port : options->ports) {
            kept.push_back({port, "a serial device of the station"});
        }
        if (!RecordPathAllowed(options->record.file, kept)) {
            exit_code = kExitUsage;
            return;
        }
        if (!RecordReady(options->record)) {
            exit_code = kExitRecordFailed;
            return;
        }
        exit_code = RunStation(*options, signals.Arm(true));
    });
}

}  // namespace velkor
