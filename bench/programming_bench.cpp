// Programming time of a full image through a pseudo-terminal into the simulated unit, whose
// line is paced at a given baud rate in both directions, against the time the bytes need on
// the wire at that rate: what the tool adds to the line's own time. Prints figures only; a
// slow machine shows in them, it fails nothing.
//
// Usage: programming_bench [RATE:MODEL:FAMILY ...]   (default 115200:r3360:nec 38400:j5:m3)
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/posix_serial_port.h"
#include "procedures/family_links.h"
#include "report/report.h"
#include "sim/firmware_builder.h"
#include "sim/mcu_simulator.h"
#include "sim/pseudo_terminal.h"
#include "sim/pty_transport.h"
#include "sim/record_format.h"
#include "sim/sim_config.h"

namespace {

using namespace velkor;
using SteadyClock = std::chrono::steady_clock;

constexpr double kBitsPerByte = 10;  // 8N1

struct BenchRun {
    std::uint32_t baud;
    AppType model;
    McuType family;
};

// Notes when the record stream starts: the progress bar is reset after the entry command and
// the boot loader's start pause.
class StreamStartSink final : public ReportSink {
  public:
    void AppendText(std::string_view) override {}
    void ResetProgress(int) override { started_ = SteadyClock::now(); }
    void SetProgress(int) override {}
    SteadyClock::time_point started() const { return started_; }

  private:
    SteadyClock::time_point started_{};
};

bool Parse(const char* text, BenchRun& run) {
    char model[16] = {};
    char family[16] = {};
    if (std::sscanf(text, "%u:%15[^:]:%15s", &run.baud, model, family) != 3 || run.baud == 0) {
        return false;
    }
    run.model = std::strcmp(model, "j5") == 0      ? kAppTypeJ5
                : std::strcmp(model, "r3360") == 0 ? kAppTypeR3360
                                                   : kAppTypeUndetermined;
    run.family = std::strcmp(family, "stm8") == 0  ? kMcuTypeStm8
                 : std::strcmp(family, "nec") == 0 ? kMcuTypeNec
                 : std::strcmp(family, "m3") == 0  ? kMcuTypeM3
                                                   : kMcuTypeUndetermined;
    return run.model != kAppTypeUndetermined && run.family != kMcuTypeUndetermined;
}

const char* Name(const BenchRun& run) {
    static const char* kNames[2][3] = {{"R3360 STM8", "R3360 NEC", "R3360 M3"},
                                       {"J5 STM8", "J5 NEC", "J5 M3"}};
    return kNames[run.model == kAppTypeJ5 ? 1 : 0][run.family - 1];
}

int Measure(const BenchRun& run) {
    sim::SimConfig config = sim::DefaultSimConfig(run.model, run.family);
    config.faults.pace_baud = run.baud;
    config.reply_delay_ms = 0;  // the line's time only
    const std::size_t status_bytes = config.record_status.size() + 1;
    sim::FirmwareIdentity identity{
        run.model, run.family, config.version_text, config.information_text, {}, false};
    const auto image = sim::BuildFirmwareImage(identity, 1);
    const auto format = *sim::BootLoaderRecordFormat(run.model, run.family);

    sim::PseudoTerminal terminal;
    int stop[2] = {-1, -1};
    if (terminal.Open() != 0 || ::pipe(stop) != 0) {
        std::printf("%s: cannot set up a pseudo-terminal\n", Name(run));
        return 1;
    }
    RealClock sim_clock;
    sim::McuSimulator simulator(std::move(config), sim_clock.NowMs());
    sim::PtyTransport transport(terminal, simulator, sim_clock);
    std::thread serving([&] { transport.Serve(stop[0]); });

    RealClock clock;
    PosixSerialPort port;
    StreamStartSink sink;
    Report report(&sink);
    LinkContext context(port, clock, report);
    ProgrammingState state;
    FamilyLinks links(context, state);
    CMcuLink& link = *links.Select(run.model, run.family);
    int result = -1;
    SteadyClock::time_point began{}, ended{};
    if (link.Open(terminal.device_path(), link.baud_rate()) == kOpenOk) {
        began = SteadyClock::now();
        result = link.Program(image.data());
        ended = SteadyClock::now();
        link.Close();
    }
    const char byte = 0;
    [[maybe_unused]] const auto written = ::write(stop[1], &byte, 1);
    serving.join();
    ::close(stop[0]);
    ::close(stop[1]);

    const auto flash = simulator.unit().main_flash().bytes();
    const bool intact =
        std::equal(image.begin() + format.range.begin, image.begin() + format.range.end,
                   flash.begin() + format.range.begin);
    if (result != 0 || !intact) {
        std::printf("%s at %u baud: programming failed (result %d, flash %s)\n", Name(run),
                    run.baud, result, intact ? "intact" : "differs");
        return 1;
    }
    // Records and their status answers; the end record is written as programming returns.
    const std::size_t records = (format.range.end - format.range.begin) / format.block_size;
    const std::size_t bytes = records * (format.data_length() + status_bytes);
    const double wire_s = static_cast<double>(bytes) * kBitsPerByte / run.baud;
    const double stream_s = std::chrono::duration<double>(ended - sink.started()).count();
    const double total_s = std::chrono::duration<double>(ended - began).count();
    // The simulator answers a record at the first whole millisecond after its status is due,
    // which delays each record by the fraction of a millisecond its wire time leaves over.
    const double record_ms = static_cast<double>(bytes) / records * kBitsPerByte * 1000 / run.baud;
    const double rounding_s = records * (std::ceil(record_ms) - record_ms) / 1000;
    const double added = (stream_s / wire_s - 1) * 100;
    const double steps = rounding_s / wire_s * 100;
    std::printf(
        "%-10s %6u baud: %4zu records, %7zu bytes on the wire (records and status)\n"
        "    wire time %8.3f s, record stream %8.3f s: %+6.2f %% over the wire time, of which\n"
        "    %+6.2f %% the simulator's millisecond steps: the tool adds %+6.2f %%\n"
        "    (whole Program %.3f s with the entry and the boot loader's pause; flash verified)\n",
        Name(run), run.baud, records, bytes, wire_s, stream_s, added, steps, added - steps,
        total_s);
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<BenchRun> runs;
    for (int i = 1; i < argc; ++i) {
        BenchRun run{};
        if (!Parse(argv[i], run)) {
            std::fprintf(stderr, "usage: %s [RATE:r3360|j5:stm8|nec|m3 ...]\n", argv[0]);
            return 64;
        }
        runs.push_back(run);
    }
    if (runs.empty()) {
        runs = {{115200, kAppTypeR3360, kMcuTypeNec}, {38400, kAppTypeJ5, kMcuTypeM3}};
    }
    std::printf(
        "Programming a full image into velkor-sim through a pseudo-terminal, the line "
        "paced at 10 bits a byte;\nthe simulator schedules in whole milliseconds.\n");
    int failed = 0;
    for (const auto& run : runs) {
        failed |= Measure(run);
    }
    return failed;
}
