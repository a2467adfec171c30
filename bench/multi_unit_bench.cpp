// Several units updated at once by one velkor-flash: each unit a separate velkor-sim process
// whose line is paced at 38400 baud, all given to one `velkor-flash write` as --port options.
// Prints the wall time of N units against one unit and the processor time velkor-flash used,
// and checks that every unit's flash now equals the file. Figures only; it fails nothing but a
// run that went wrong.
//
// Usage: multi_unit_bench [N ...]   (default 1 4 8)
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/simulator_process.h"
#include "support/temp_dir.h"

namespace {

using namespace velkor::testing;
using SteadyClock = std::chrono::steady_clock;

const std::string kSim = VELKOR_SIM_PROGRAM;
const std::string kFlash = VELKOR_FLASH_PROGRAM;
constexpr std::size_t kFirmwareEnd = 0x20000;  // the M3 family's firmware range starts at 0
constexpr std::chrono::minutes kRunLimit{10};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

double CpuSeconds(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Figures {
    bool ok = false;
    double wall_seconds = 0;
    double cpu_seconds = 0;
};

Figures Measure(int units, const TempDir& dir, const std::string& firmware,
                const std::string& image) {
    Figures figures;
    std::vector<std::unique_ptr<SimulatorProcess>> sims;
    std::vector<std::string> flash_outs;
    std::vector<std::string> args = {kFlash, "write", "--model", "j5", "--mcu", "m3"};
    for (int i = 0; i < units; ++i) {
        flash_outs.push_back(
            (dir.path() / ("flash-" + std::to_string(units) + "-" + std::to_string(i) + ".bin"))
                .string());
        sims.push_back(std::make_unique<SimulatorProcess>(
            kSim, std::vector<std::string>{"--model", "j5", "--family", "m3", "--baud", "38400",
                                           "--flash-out", flash_outs.back()}));
        if (sims.back()->device().empty()) {
            std::fprintf(stderr, "velkor-sim did not start: %s\n", sims.back()->err().c_str());
            return figures;
        }
        args.push_back("--port");
        args.push_back(sims.back()->device());
    }
    args.push_back(firmware);

    // The simulators are not reaped until the run has been measured, so the children's usage
    // that grows meanwhile is velkor-flash's alone.
    rusage before{};
    ::getrusage(RUSAGE_CHILDREN, &before);
    const auto start = SteadyClock::now();
    ChildProcess flash(args);
    const auto status = flash.Wait(kRunLimit);
    figures.wall_seconds = std::chrono::duration<double>(SteadyClock::now() - start).count();
    rusage after{};
    ::getrusage(RUSAGE_CHILDREN, &after);
    figures.cpu_seconds = CpuSeconds(after) - CpuSeconds(before);
    if (status != 0) {
        std::fprintf(stderr, "velkor-flash write on %d units exited %d\n%s\n", units,
                     status.value_or(-1), flash.err().c_str());
        return figures;
    }

    figures.ok = true;
    for (int i = 0; i < units; ++i) {
        sims[static_cast<std::size_t>(i)]->Stop();
        const std::string flash_bytes = ReadFile(flash_outs[static_cast<std::size_t>(i)]);
        if (flash_bytes.size() < kFirmwareEnd ||
            flash_bytes.compare(0, kFirmwareEnd, image, 0, kFirmwareEnd) != 0) {
            std::fprintf(stderr, "unit %d of %d: its flash differs from the file\n", i + 1, units);
            figures.ok = false;
        }
    }
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) {
        counts.push_back(std::atoi(argv[i]));
        if (counts.back() < 1) {
            std::fprintf(stderr, "usage: multi_unit_bench [N ...]\n");
            return 64;
        }
    }
    if (counts.empty()) {
        counts = {1, 4, 8};
    }

    TempDir dir;
    const std::string firmware = (dir.path() / "j5-m3.hex").string();
    const std::string image_path = (dir.path() / "j5-m3.bin").string();
    ChildProcess make(std::vector<std::string>{kSim, "firmware", "--model", "j5", "--family", "m3",
                                               "-o", firmware});
    if (make.Wait(std::chrono::seconds(30)) != 0) {
        std::fprintf(stderr, "velkor-sim firmware failed\n");
        return 1;
    }
    ChildProcess image(
        std::vector<std::string>{kFlash, "image", "--mcu", "m3", firmware, "-o", image_path});
    if (image.Wait(std::chrono::seconds(30)) != 0) {
        std::fprintf(stderr, "velkor-flash image failed\n");
        return 1;
    }
    const std::string image_bytes = ReadFile(image_path);

    std::printf("J5 M3 units at 38400 baud, one velkor-flash write for all\n");
    std::printf("%6s %10s %12s %14s %18s %s\n", "units", "wall s", "vs 1 unit", "flash cpu s",
                "cpu per unit", "flash = file");
    double one_unit = 0;
    bool all_ok = true;
    for (const int units : counts) {
        const Figures figures = Measure(units, dir, firmware, image_bytes);
        all_ok = all_ok && figures.ok;
        if (units == 1) {
            one_unit = figures.wall_seconds;
        }
        const double ratio = one_unit > 0 ? figures.wall_seconds / one_unit : 0;
        const double share = figures.cpu_seconds / (figures.wall_seconds * units) * 100;
        std::printf("%6d %10.2f %12.3f %14.2f %16.2f %% %s\n", units, figures.wall_seconds, ratio,
                    figures.cpu_seconds, share, figures.ok ? "yes" : "NO");
        std::fflush(stdout);
    }
    return all_ok ? 0 : 1;
}
