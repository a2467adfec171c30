// velkor-flash station on a watched folder, fed as a production line feeds it: SLOTS slots,
// each taking a new simulated unit (its line paced at 38400 baud) as soon as the last one's
// record is written and it is unplugged, UNITS units in all. Prints the throughput against
// the wire limit, the time from a unit's link appearing to the station's first byte to it,
// and the station's processor time per slot while it waits and while it programs. Figures
// only; it fails nothing but a run that went wrong.
//
// Usage: station_bench [UNITS [SLOTS]]   (default 20 4)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/simulator_process.h"
#include "support/temp_dir.h"

namespace {

using namespace velkor::testing;
using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;
using SystemClock = std::chrono::system_clock;

const std::string kSim = VELKOR_SIM_PROGRAM;
const std::string kFlash = VELKOR_FLASH_PROGRAM;
constexpr int kBaud = 38400;
constexpr double kBitsPerByte = 10;  // 8N1
// The M3 record stream: 512 records of 5 header and 256 data bytes, and the end record.
constexpr double kStreamBytes = 512.0 * 261 + 261;

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Processor seconds a process has used, from /proc.
double CpuSeconds(int pid) {
    std::istringstream stat(ReadFile("/proc/" + std::to_string(pid) + "/stat"));
    std::string field;
    for (int i = 1; i <= 13 && stat >> field; ++i) {
    }
    unsigned long long user = 0;
    unsigned long long system = 0;
    stat >> user >> system;
    return static_cast<double>(user + system) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// "2026-12-08T06:10:55.645+00:00" as a time point.
SystemClock::time_point ParseRecordTime(const std::string& text) {
    std::tm local{};
    std::istringstream in(text);
    in >> std::get_time(&local, "%Y-%m-%dT%H:%M:%S");
    const int millis = std::atoi(text.substr(20, 3).c_str());
    const int sign = text[23] == '-' ? -1 : 1;
    const int offset_minutes =
        sign * (std::atoi(text.substr(24, 2).c_str()) * 60 + std::atoi(text.substr(27, 2).c_str()));
    const std::time_t utc = ::timegm(&local) - offset_minutes * 60;
    return SystemClock::from_time_t(utc) + std::chrono::milliseconds(millis);
}

double Median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct SlotFeed {
    std::string name;
    std::unique_ptr<SimulatorProcess> unit;
    SystemClock::time_point link_seen;
};

}  // namespace

int main(int argc, char** argv) {
    const int units = argc > 1 ? std::atoi(argv[1]) : 20;
    const int slots = argc > 2 ? std::atoi(argv[2]) : 4;
    if (units < 1 || slots < 1) {
        std::fprintf(stderr, "usage: station_bench [UNITS [SLOTS]]\n");
        return 64;
    }
    TempDir dir;
    const std::string firmware = (dir.path() / "j5-m3.hex").string();
    ChildProcess make(std::vector<std::string>{kSim, "firmware", "--model", "j5", "--family", "m3",
                                               "-o", firmware});
    if (make.Wait(30s) != 0) {
        std::fprintf(stderr, "velkor-sim firmware failed\n");
        return 1;
    }
    // One lone write with its verify, as a technician runs it: what a slot can do at best.
    double lone_write_s = 0;
    {
        SimulatorProcess unit(kSim,
                              {"--model", "j5", "--family", "m3", "--baud", std::to_string(kBaud)});
        const auto began = SteadyClock::now();
        ChildProcess write(std::vector<std::string>{kFlash, "write", "--port", unit.device(),
                                                    "--model", "j5", "--mcu", "m3", firmware});
        if (write.Wait(5min) != 0) {
            std::fprintf(stderr, "the lone write failed\n%s\n", write.err().c_str());
            return 1;
        }
        lone_write_s = std::chrono::duration<double>(SteadyClock::now() - began).count();
    }
    const auto fixture = dir.path() / "by-id";
    std::filesystem::create_directory(fixture);
    const auto records = dir.path() / "units.jsonl";
    ChildProcess station(std::vector<std::string>{kFlash, "station", "--model", "j5", "--mcu", "m3",
                                                  "--watch", fixture.string(), "--allow-pty",
                                                  "--max-units", std::to_string(units), "--record",
                                                  records.string(), firmware});

    std::vector<SlotFeed> feeds(static_cast<std::size_t>(slots));
    const auto plug = [&](SlotFeed& feed, const std::string& name, bool unplugged) {
        feed.name = name;
        std::vector<std::string> options = {"--model",   "j5",
                                            "--family",  "m3",
                                            "--baud",    std::to_string(kBaud),
                                            "--symlink", (fixture / name).string()};
        if (unplugged) {
            options.push_back("--start-unplugged");
        }
        feed.unit = std::make_unique<SimulatorProcess>(kSim, options);
        while (!std::filesystem::is_symlink(fixture / name)) {
            std::this_thread::sleep_for(1ms);
        }
        feed.link_seen = SystemClock::now();
    };

    // Waiting: slots whose adapters hold no unit.
    for (int i = 0; i < slots; ++i) {
        plug(feeds[static_cast<std::size_t>(i)], "usb-empty-" + std::to_string(i), true);
    }
    std::this_thread::sleep_for(2s);  // the slots are up
    const double waiting_cpu = CpuSeconds(station.pid());
    constexpr auto kWaitingSpan = 10s;
    std::this_thread::sleep_for(kWaitingSpan);
    const double waiting_share = (CpuSeconds(station.pid()) - waiting_cpu) /
                                 std::chrono::duration<double>(kWaitingSpan).count() / slots * 100;
    for (SlotFeed& feed : feeds) {
        feed.unit->Stop();
    }

    // The line: a new unit in every slot as soon as the last one is recorded.
    const auto started = SteadyClock::now();
    const double programming_cpu = CpuSeconds(station.pid());
    int plugged = 0;
    std::map<std::string, SlotFeed*> by_name;
    for (SlotFeed& feed : feeds) {
        if (plugged < units) {
            plug(feed, "usb-unit-" + std::to_string(++plugged), false);
            by_name[feed.name] = &feed;
        }
    }
    std::vector<double> first_byte_ms;
    std::size_t lines_seen = 0;
    int failed = 0;
    double programming_cpu_end = programming_cpu;
    // Reads the record lines that came since, and feeds each slot that is done a new unit.
    const auto take_records = [&] {
        std::istringstream lines(ReadFile(records));
        std::size_t line_number = 0;
        for (std::string line; std::getline(lines, line); ++line_number) {
            if (line_number < lines_seen || line.empty() || line.back() != '}') {
                continue;
            }
            ++lines_seen;
            const nlohmann::json record = nlohmann::json::parse(line);
            failed += record["result"] != "updated";
            const auto found = by_name.find(record["slot"].get<std::string>());
            if (found == by_name.end()) {
                continue;
            }
            SlotFeed& feed = *found->second;
            first_byte_ms.push_back(std::chrono::duration<double, std::milli>(
                                        ParseRecordTime(record["time"]) - feed.link_seen)
                                        .count());
            by_name.erase(found);
            feed.unit->Stop();  // unplugged with its adapter
            if (plugged < units) {
                plug(feed, "usb-unit-" + std::to_string(++plugged), false);
                by_name[feed.name] = &feed;
            }
        }
    };
    while (station.running() && !station.EndsWithin(100ms)) {
        programming_cpu_end = CpuSeconds(station.pid());  // /proc forgets it once reaped
        take_records();
    }
    take_records();  // the last lines, written as the station ended
    const double wall = std::chrono::duration<double>(SteadyClock::now() - started).count();
    const auto status = station.Wait(60s);
    const double programming_share = (programming_cpu_end - programming_cpu) / wall / slots * 100;
    if (status != 0 || failed != 0 || static_cast<int>(lines_seen) != units) {
        std::fprintf(stderr, "station exited %d with %zu records, %d not updated\n%s\n",
                     status.value_or(-1), lines_seen, failed, station.err().c_str());
        return 1;
    }

    const double wire_s = kStreamBytes * kBitsPerByte / kBaud;
    const double limit = slots * 3600.0 / wire_s;
    const double per_hour = units * 3600.0 / wall;
    std::printf("velkor-flash station: %d J5 M3 units at %d baud in %d watched slots\n", units,
                kBaud, slots);
    std::printf("  throughput       %8.1f units per hour in %.0f s\n", per_hour, wall);
    std::printf("  wire limit       %8.1f units per hour (%d x 3600 s / %.1f s of records)\n",
                limit, slots, wire_s);
    std::printf("  of the limit     %8.3f\n", per_hour / limit);
    std::printf("  of lone writes   %8.3f (%d x 3600 s / %.1f s of one write with its verify)\n",
                per_hour / (slots * 3600.0 / lone_write_s), slots, lone_write_s);
    std::printf(
        "  link to 1st byte %8.0f ms median, %.0f ms worst (%zu units)\n", Median(first_byte_ms),
        first_byte_ms.empty() ? 0.0 : *std::max_element(first_byte_ms.begin(), first_byte_ms.end()),
        first_byte_ms.size());
    std::printf("  cpu per slot     %8.2f %% of a core waiting, %.2f %% programming\n",
                waiting_share, programming_share);
    return 0;
}
