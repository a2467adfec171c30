// The programs the end-to-end tests run, how a test runs one to its end, and what their logs
// hold.
#pragma once

#include <algorithm>
#include <chrono>
#include <optional>
#include <regex>
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

// The first line of each run in a --log file.
inline const std::regex kLogHeader(
    R"(=== \d{4}-\d\d-\d\d \d\d:\d\d:\d\d [+-]\d{4} velkor-flash [^ ]+: .*velkor-flash .* ===\n)");

// A --log file as standard error showed its runs: without the header line each run begins with
// and the time each later line begins with. A line without its time is marked, so that it
// shows when compared.
inline std::string LogFileBody(const std::string& text) {
    const std::regex time(R"(^\+\d+\.\d{3} s )");
    std::string body;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size() - 1) + 1;
        const std::string line = text.substr(start, end - start);
        start = end;
        if (std::regex_match(line, kLogHeader)) {
            continue;
        }
        std::smatch found;
        body += std::regex_search(line, found, time) ? found.suffix().str() : "(no time) " + line;
    }
    return body;
}

// Standard error without the progress lines it gets when it is no terminal.
inline std::string WithoutProgressLines(const std::string& err) {
    std::string rest;
    for (std::size_t start = 0; start < err.size();) {
        const std::size_t end = std::min(err.find('\n', start), err.size() - 1) + 1;
        if (err.compare(start, 10, "Progress: ") != 0) {
            rest.append(err, start, end - start);
        }
        start = end;
    }
    return rest;
}

}  // namespace velkor::testing
