// Load speed of the firmware readers on a full 256 KiB image, and how it compares with
// srec_cat converting the same file to binary as a whole process.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "image/hex_image.h"
#include "image/s19_image.h"
#include "report/report.h"

extern char** environ;

namespace {

std::string HexByte(unsigned value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

// The image as 16-byte records, the way firmware files usually come.
std::string MakeHex(const std::vector<std::uint8_t>& image) {
    std::string text;
    for (std::size_t address = 0; address < image.size(); address += 16) {
        if (address % 0x10000 == 0) {
            const unsigned upper = static_cast<unsigned>(address >> 16);
            text += ":02000004" + HexByte(upper >> 8) + HexByte(upper) +
                    HexByte(0x100 - ((6 + upper) & 0xFF)) + "\r\n";
        }
        unsigned sum = 16 + ((address >> 8) & 0xFF) + (address & 0xFF);
        text += ":10" + HexByte(static_cast<unsigned>(address >> 8)) +
                HexByte(static_cast<unsigned>(address)) + "00";
        for (std::size_t i = 0; i < 16; ++i) {
            text += HexByte(image[address + i]);
            sum += image[address + i];
        }
        text += HexByte(0x100 - (sum & 0xFF)) + "\r\n";
    }
    return text + ":00000001FF\r\n";
}

std::string MakeS19(const std::vector<std::uint8_t>& image) {
    std::string text = "S00600004844521B\r\n";
    for (std::size_t address = 0; address < image.size(); address += 16) {
        unsigned sum = 20 + ((address >> 16) & 0xFF) + ((address >> 8) & 0xFF) + (address & 0xFF);
        text += "S214" + HexByte(static_cast<unsigned>(address >> 16)) +
                HexByte(static_cast<unsigned>(address >> 8)) +
                HexByte(static_cast<unsigned>(address));
        for (std::size_t i = 0; i < 16; ++i) {
            text += HexByte(image[address + i]);
            sum += image[address + i];
        }
        text += HexByte(~sum & 0xFF) + "\r\n";
    }
    return text + "S804000000FB\r\n";
}

struct Files {
    std::string hex;
    std::string s19;
    std::size_t hex_size = 0;
    std::size_t s19_size = 0;
};

Files& TheFiles() {
    static Files files = [] {
        std::vector<std::uint8_t> image(velkor::kImageSize);
        std::mt19937 random(1);
        for (auto& byte : image) {
            byte = static_cast<std::uint8_t>(random());
        }
        Files f;
        char dir[] = "/tmp/velkor-bench-XXXXXX";
        if (::mkdtemp(dir) == nullptr) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        f.hex = std::string(dir) + "/full.hex";
        f.s19 = std::string(dir) + "/full.s19";
        const std::string hex = MakeHex(image);
        const std::string s19 = MakeS19(image);
        std::ofstream(f.hex, std::ios::binary) << hex;
        std::ofstream(f.s19, std::ios::binary) << s19;
        f.hex_size = hex.size();
        f.s19_size = s19.size();
        return f;
    }();
    return files;
}

template <typename Image>
void LoadFullImage(benchmark::State& state, const std::string& path, std::size_t size) {
    velkor::Report report;
    Image image(report);
    for (auto _ : state) {
        if (image.Load(path) != velkor::kLoadOk) {
            state.SkipWithError("load failed");
            break;
        }
        benchmark::DoNotOptimize(image.Buffer());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void BM_LoadHex(benchmark::State& state) {
    LoadFullImage<velkor::CHexImage>(state, TheFiles().hex, TheFiles().hex_size);
}
void BM_LoadS19(benchmark::State& state) {
    LoadFullImage<velkor::CS19Image>(state, TheFiles().s19, TheFiles().s19_size);
}
BENCHMARK(BM_LoadHex)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadS19)->Unit(benchmark::kMillisecond);

// Best of several runs, in milliseconds, of a whole process; negative when it cannot run.
double BestProcessMs(std::vector<std::string> args, int runs) {
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    double best = -1;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        pid_t pid = 0;
        if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
            return -1;
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            return -1;
        }
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        best = best < 0 ? ms : std::min(best, ms);
    }
    return best;
}

template <typename Image>
double BestLoadMs(const std::string& path, int runs) {
    velkor::Report report;
    Image image(report);
    double best = -1;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        image.Load(path);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        best = best < 0 ? ms : std::min(best, ms);
    }
    return best;
}

void CompareWithSrecCat() {
    const Files& f = TheFiles();
    const double hex_ms = BestLoadMs<velkor::CHexImage>(f.hex, 20);
    const double s19_ms = BestLoadMs<velkor::CS19Image>(f.s19, 20);
    const double srec_hex_ms =
        BestProcessMs({"srec_cat", f.hex, "-intel", "-o", "/dev/null", "-binary"}, 5);
    const double srec_s19_ms =
        BestProcessMs({"srec_cat", f.s19, "-motorola", "-o", "/dev/null", "-binary"}, 5);
    std::printf("\nFull 256 KiB image, best of 20 loads (target: HEX under 4 ms, 5x srec_cat):\n");
    std::printf("  HEX %zu bytes of text: %.2f ms (%.0f MB/s)\n", f.hex_size, hex_ms,
                static_cast<double>(f.hex_size) / 1e3 / hex_ms);
    std::printf("  S-records %zu bytes of text: %.2f ms (%.0f MB/s)\n", f.s19_size, s19_ms,
                static_cast<double>(f.s19_size) / 1e3 / s19_ms);
    if (srec_hex_ms < 0 || srec_s19_ms < 0) {
        std::printf("  srec_cat not available: no comparison\n");
        return;
    }
    std::printf(
        "  srec_cat to binary, best of 5 processes: HEX %.2f ms (%.1fx), S-records %.2f ms "
        "(%.1fx)\n",
        srec_hex_ms, srec_hex_ms / hex_ms, srec_s19_ms, srec_s19_ms / s19_ms);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    CompareWithSrecCat();
    std::remove(TheFiles().hex.c_str());
    std::remove(TheFiles().s19.c_str());
    return 0;
}
