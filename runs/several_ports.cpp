#include "runs/several_ports.h"

#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

#include "devices/device_facts.h"
#include "devices/port_holders.h"
#include "devices/same_device.h"
#include "platform/text.h"
#include "runs/exit_codes.h"
#include "runs/port_list_file.h"
#include "runs/run_stop.h"
#include "runs/stream_lines.h"
#include "terminal/status_board.h"
#include "terminal/unit_screens.h"

namespace velkor {
namespace {

struct UnitResult {
    int exit = 0;
    RunRecord record;
    nlohmann::ordered_json object;
    std::string out;
    double seconds = 0;
};

// The log file name of a unit in the --log folder as a technician looks for it: its device
// path without "/dev/", '/' as '-'.
std::string ReadableLogName(std::string_view device) {
    if (device.starts_with("/dev/")) {
        device.remove_prefix(5);
    }
    std::string name;
    for (const char c : device) {
        name += c == '/' ? '-' : c;
    }
    while (!name.empty() && (name.front() == '-' || name.front() == '.')) {
        name.erase(0, 1);
    }
    name += ".log";
    return name;
}

// A name no other device path gives: the whole path, '/' as '+', and '+', '%' and a leading
// '.' (which would hide the file, or name a folder) written as %2B, %25 and %2E.
std::string DistinctLogName(std::string_view device) {
    std::string name;
    for (std::size_t i = 0; i < device.size(); ++i) {
        const char c = device[i];
        if (c == '/') {
            name += '+';
        } else if (c == '+') {
            name += "%2B";
        } else if (c == '%') {
            name += "%25";
        } else if (c == '.' && i == 0) {
            name += "%2E";
        } else {
            name += c;
        }
    }
    name += ".log";
    return name;
}

// MCU texts for one table cell: on one line, control characters escaped.
std::string Cell(const std::optional<std::string>& text) {
    if (!text) {
        return "-";
    }
    const std::string cell = EscapeControls(Latin1ToUtf8(*text));
    const auto first = cell.find_first_not_of(' ');
    const auto last = cell.find_last_not_of(' ');
    return first == std::string::npos ? "-" : cell.substr(first, last - first + 1);
}

// Why a unit failed, for its status line and the summary.
std::string FailureText(int exit, const std::function<std::string(int)>& failure) {
    if (exit > kExitSignalBase) {
        const char* name = sigabbrev_np(exit - kExitSignalBase);
        return std::string("stopped by SIG") + (name != nullptr ? name : "?");
    }
    return failure(exit);
}

void PrintSummary(const std::vector<std::string>& devices, const std::vector<UnitResult>& results,
                  const std::function<std::string(int)>& failure) {
    std::vector<std::vector<std::string>> rows = {
        {"PORT", "MCU VERSION BEFORE", "AFTER", "RESULT", "SECONDS"}};
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const UnitResult& result = results[i];
        std::optional<std::string> after;
        if (result.record.verify) {
            after = result.record.verify->version_text;
        }
        std::string outcome = result.record.result;
        if (result.exit != 0) {
            outcome += " (";
            outcome += FailureText(result.exit, failure);
            // Where and why programming broke off, as the unit's log said it.
            if (const auto& stream = result.record.programming;
                stream && stream->failure &&
                stream->failure->cause != StreamFailureCause::kStopped) {
                outcome += ": " + FailureLine(*stream);
            }
            outcome += ')';
        }
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f", result.seconds);
        rows.push_back(
            {devices[i], Cell(result.record.mcu_version_before), Cell(after), outcome, seconds});
    }
    std::vector<std::size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows) {
        for (std::size_t column = 0; column < row.size(); ++column) {
            widths[column] = std::max(widths[column], row[column].size());
        }
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t column = 0; column < row.size(); ++column) {
            line += row[column];
            if (column + 1 < row.size()) {
                line.append(widths[column] - row[column].size() + 2, ' ');
            }
        }
        line += '\n';
        std::fputs(line.c_str(), stdout);
    }
}

}  // namespace

std::vector<std::string> GatherPorts(const std::vector<std::string>& ports,
                                     const std::string& ports_from) {
    std::vector<std::string> devices = ports;
    if (!ports_from.empty()) {
        PortList list = ReadPortList(ports_from);
        if (!list.error.empty()) {
            std::fprintf(stderr, "velkor-flash: %s\n", list.error.c_str());
            return {};
        }
        devices.insert(devices.end(), list.devices.begin(), list.devices.end());
    }
    if (devices.empty()) {
        std::fprintf(stderr,
                     "velkor-flash: name the unit's serial device with --port DEVICE (once per "
                     "unit) or --ports-from FILE\n");
    }
    return devices;
}

bool CheckRunFiles(const RunFiles& files) {
    const std::vector<std::string>& devices = files.devices;
    if (const auto same = FindSameDevice(devices)) {
        std::fprintf(stderr,
                     "velkor-flash: %s and %s are the same device; name each unit once. Nothing "
                     "was sent.\n",
                     same->first.c_str(), same->second.c_str());
        return false;
    }
    std::vector<KeptFile> read = {{files.firmware, "the firmware file"},
                                  {files.ports_from, "the port list"}};
    for (const std::string& device : devices) {
        read.push_back({device, devices.size() > 1 ? "a serial device" : "the serial device"});
    }
    std::vector<std::string> logs;
    if (devices.size() > 1 && !files.log.empty()) {
        std::error_code error;
        if (std::filesystem::exists(files.log, error) &&
            !std::filesystem::is_directory(files.log, error)) {
            std::fprintf(stderr,
                         "velkor-flash: with several ports --log names a folder for their log "
                         "files; %s is none\n",
                         files.log.c_str());
            return false;
        }
        logs = UnitLogFiles(files.log, devices);
    } else if (!files.log.empty()) {
        logs.push_back(files.log);
    }
    std::vector<KeptFile> kept = read;
    for (const std::string& log : logs) {
        kept.push_back({log, logs.size() > 1 ? "the log file of a unit" : "the log file"});
    }
    if (!RecordPathAllowed(files.record, kept)) {
        return false;
    }
    kept = read;
    kept.push_back({files.record, "the record file"});
    for (const std::string& log : logs) {
        if (const std::string refusal = WriteRefusal("--log", log, kept); !refusal.empty()) {
            std::fprintf(stderr, "velkor-flash: %s\n", refusal.c_str());
            return false;
        }
    }
    return true;
}

std::vector<std::string> UnitLogFiles(const std::string& folder,
                                      const std::vector<std::string>& devices) {
    std::vector<std::string> names;
    for (const std::string& device : devices) {
        names.push_back(ReadableLogName(device));
    }
    // A shared name goes over to the distinct one, until no name is shared; distinct names
    // differ from each other, so this ends (ports that are one path are refused before).
    for (bool changed = true; changed;) {
        changed = false;
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::string distinct = DistinctLogName(devices[i]);
            if (names[i] != distinct && std::count(names.begin(), names.end(), names[i]) > 1) {
                names[i] = distinct;
                changed = true;
            }
        }
    }
    std::vector<std::string> files;
    for (const std::string& name : names) {
        files.push_back((std::filesystem::path(folder) / name).string());
    }
    return files;
}

int RunOnSeveralPorts(const SeveralPorts& ports, const UnitJob& job) {
    const std::vector<std::string>& devices = ports.devices;
    std::vector<KeptFile> kept = {{ports.record.file, "the record file"}};
    for (const std::string& device : devices) {
        kept.push_back({device, "a serial device"});
    }
    std::vector<OutputOptions> unit_outputs(devices.size(), ports.outputs);
    if (!ports.outputs.log_file.empty()) {
        const std::filesystem::path folder = ports.outputs.log_file;
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (!std::filesystem::is_directory(folder)) {
            std::fprintf(stderr,
                         "velkor-flash: with several ports --log names a folder for their log "
                         "files; %s is none%s%s\n",
                         folder.c_str(), error ? ": " : "", error ? error.message().c_str() : "");
            return kExitUsage;
        }
        const std::vector<std::string> files = UnitLogFiles(folder, devices);
        for (std::size_t i = 0; i < devices.size(); ++i) {
            unit_outputs[i].log_file = files[i];
        }
    }

    // Found before any port is opened, this run's own opens included.
    std::vector<std::string> held_by(devices.size());
    if (!ports.force_port) {
        const std::vector<PortUseReport> uses = FindPortHolders(devices);
        for (std::size_t i = 0; i < devices.size(); ++i) {
            if (uses[i].use == PortUse::kHeld) {
                held_by[i] = HoldersText(uses[i].holders);
            }
        }
    }

    // A line per unit on a terminal; otherwise each unit's log lines carry its port.
    const bool board = !ports.outputs.quiet && ::isatty(fileno(stderr)) == 1;
    StatusBoard status_board(stderr, devices);
    SharedLines shared(stderr);
    std::vector<std::unique_ptr<ReportSink>> screens;
    std::vector<std::unique_ptr<CommandOutput>> outputs;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (board) {
            screens.push_back(std::make_unique<StatusLineSink>(status_board, i));
        } else {
            screens.push_back(std::make_unique<PrefixedUnitSink>(shared, devices[i]));
        }
        outputs.push_back(std::make_unique<CommandOutput>(unit_outputs[i], screens.back().get()));
        if (!outputs.back()->Open(kept)) {
            return kExitUsage;
        }
    }
    if (board) {
        status_board.Start();
    }

    std::vector<UnitResult> results(devices.size());
    {
        std::vector<std::jthread> threads;
        for (std::size_t i = 0; i < devices.size(); ++i) {
            threads.emplace_back([&, i] {
                auto* status = board ? static_cast<StatusLineSink*>(screens[i].get()) : nullptr;
                UnitResult& result = results[i];
                const auto start = std::chrono::steady_clock::now();
                DeviceFacts device = DeviceFactsOf(devices[i]);
                std::ostringstream out;
                UnitRunContext unit{devices[i],
                                    held_by[i],
                                    *outputs[i],
                                    [status](std::string_view stage) {
                                        if (status != nullptr) {
                                            status->ShowStage(stage);
                                        }
                                    },
                                    result.record,
                                    out};
                result.exit = job(unit);
                result.record.device = std::move(device);
                outputs[i].reset();  // the unit's port and log file are done with
                result.seconds =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                result.out = out.str();
                RecordedRun recorded = RecordRun(ports.record, result.record, result.exit);
                result.object = std::move(recorded.object);
                result.exit = recorded.exit;
                if (status != nullptr) {
                    std::string last = "done";
                    if (result.exit > kExitSignalBase) {
                        last = "interrupted";
                    } else if (result.exit != 0) {
                        last = "failed: ";
                        last += ports.failure(result.exit);
                    }
                    status->ShowStage(last);
                }
            });
        }
    }

    int exit = 0;
    for (const UnitResult& result : results) {
        exit = std::max(exit, result.exit);
    }
    if (ports.record.json) {
        nlohmann::ordered_json array = nlohmann::ordered_json::array();
        for (UnitResult& result : results) {
            array.push_back(std::move(result.object));
        }
        const std::string line = RecordLine(array);
        std::fwrite(line.data(), 1, line.size(), stdout);
    } else {
        for (std::size_t i = 0; i < devices.size(); ++i) {
            std::istringstream lines(results[i].out);
            for (std::string line; std::getline(lines, line);) {
                std::printf("%s: %s\n", devices[i].c_str(), line.c_str());
            }
        }
        PrintSummary(devices, results, ports.failure);
    }
    std::fflush(stdout);
    return exit;
}

}  // namespace velkor
