// The programs the end-to-end tests run, and how a test runs one to its end.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "program_emulator.h"  // kProgramEmulator: empty unless built for another machine
#include "support/child_process.h"
#include "support/simulator_process.h"

namespace velkor::testing {

inline const std::string kSimProgram = VELKOR_SIM_PROGRAM;
inline const std::string kFlashProgram = VELKOR_FLASH_PROGRAM;

// The command that runs args: velkor-sim and velkor-flash under the emulator when they were
// built for another machine, any other program as it is.
inline std::vector<std::string> ProgramCommand(std::vector<std::string> args) {
    if (!args.empty() && (args[0] == kSimProgram || args[0] == kFlashProgram)) {
        args.insert(args.begin(), kProgramEmulator.begin(), kProgramEmulator.end());
    }
    return args;
}

// Generous: these tests run in real time on machines of any speed.
inline constexpr std::chrono::seconds kRunTimeout{60};

// A velkor-sim started with these options.
struct Simulator : SimulatorProcess {
    explicit Simulator(std::vector<std::string> options)
        : SimulatorProcess(ProgramCommand({kSimProgram}), std::move(options)) {}
};

struct ProgramRun {
    std::optional<int> status;  // none: it did not end in time
    std::string out;
    std::string err;
    std::chrono::milliseconds took{0};
};

// Runs the program at args[0] until it ends, with what it printed and how long it took.
inline ProgramRun RunToEnd(const std::vector<std::string>& args) {
    const auto start = std::chrono::steady_clock::now();
    ChildProcess process(ProgramCommand(args));
    ProgramRun run;
    run.status = process.Wait(kRunTimeout);
    run.took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    run.out = process.out();
    run.err = process.err();
    return run;
}

}  // namespace velkor::testing
