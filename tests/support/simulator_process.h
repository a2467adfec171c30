// A running velkor-sim for end-to-end tests, and the device path it printed.
#pragma once

#include <signal.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "support/child_process.h"

namespace velkor::testing {

class SimulatorProcess {
  public:
    // Generous: these tests run in real time on machines of any speed.
    static constexpr std::chrono::seconds kStartTimeout{10};
    static constexpr std::chrono::seconds kStopTimeout{60};

    SimulatorProcess(const std::string& program, std::vector<std::string> options)
        : SimulatorProcess(std::vector<std::string>{program}, std::move(options)) {}

    // command: the program, after the emulator that runs it when there is one.
    SimulatorProcess(std::vector<std::string> command, std::vector<std::string> options)
        : process_(Args(std::move(command), std::move(options))) {
        if (process_.started()) {
            device_ = process_.ReadLine(kStartTimeout).value_or("");
        }
    }

    const std::string& device() const { return device_; }
    ChildProcess& process() { return process_; }
    const std::string& err() const { return process_.err(); }

    // Takes the unit off the fixture, or plugs the next one in, as a station's operator does;
    // true once the simulator has said so.
    bool Unplug() { return SignalAndWait(SIGUSR1, "velkor-sim: unit unplugged\n"); }
    bool PlugInNext() { return SignalAndWait(SIGUSR2, "velkor-sim: next unit plugged in\n"); }

    // Ends the simulator as Ctrl-C would; its exit status.
    std::optional<int> Stop() {
        process_.Signal(SIGTERM);
        return process_.Wait(kStopTimeout);
    }

  private:
    bool SignalAndWait(int signal_number, const std::string& line) {
        const std::size_t from = process_.err().size();
        process_.Signal(signal_number);
        return process_.ErrShows(line, from, kStartTimeout);
    }

    static std::vector<std::string> Args(std::vector<std::string> command,
                                         std::vector<std::string> options) {
        command.insert(command.end(), options.begin(), options.end());
        return command;
    }

    ChildProcess process_;
    std::string device_;
};

}  // namespace velkor::testing
