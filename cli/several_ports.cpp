#include "cli/several_ports.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

#include "cli/exit_codes.h"
#include "cli/port_list_file.h"
#include "cli/same_device.h"
#include "cli/status_board.h"
#include "cli/unit_screens.h"
#include "platform/text.h"

namespace velkor {
namespace {

struct UnitResult {
    int exit = 0;
    RunRecord record;
    nlohmann::ordered_json object;
    std::string out;
    double seconds = 0;
};

// The log file of a unit in the --log folder: its device path without "/dev/", '/' as '-'.
std::string LogFileName(std::string_view device) {
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

// MCU texts for one table cell: printable, on one line.
std::string Cell(const std::optional<std::string>& text) {
    if (!text) {
        return "-";
    }
    std::string cell;
    for (const char c : Latin1ToUtf8(*text)) {
        cell += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    }
    const auto first = cell.find_first_not_of(' ');
    const auto last = cell.find_last_not_of(' ');
    return first == std::string::npos ? "-" : cell.substr(first, last - first + 1);
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
            outcome += failure(result.exit);
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

int RunOnSeveralPorts(const SeveralPorts& ports, const UnitJob& job) {
    const std::vector<std::string>& devices = ports.devices;
    if (const auto same = FindSameDevice(devices)) {
        std::fprintf(stderr,
                     "velkor-flash: %s and %s are the same device; name each unit once. Nothing "
                     "was sent.\n",
                     same->first.c_str(), same->second.c_str());
        return kExitUsage;
    }

    std::vector<KeptFile> kept = ports.kept;
    kept.push_back({ports.record.file, "the record file"});
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
        for (std::size_t i = 0; i < devices.size(); ++i) {
            unit_outputs[i].log_file = (folder / LogFileName(devices[i])).string();
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
                std::ostringstream out;
                UnitRunContext unit{devices[i], *outputs[i],
                                    [status](std::string_view stage) {
                                        if (status != nullptr) {
                                            status->ShowStage(stage);
                                        }
                                    },
                                    result.record, out};
                result.exit = job(unit);
                outputs[i].reset();  // the unit's port and log file are done with
                result.seconds =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                result.out = out.str();
                RecordedRun recorded = RecordRun(ports.record, result.record, result.exit);
                result.object = std::move(recorded.object);
                result.exit = recorded.exit;
                if (status != nullptr) {
                    std::string last = "done";
                    if (result.exit != 0) {
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
