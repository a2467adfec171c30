// Serves a simulated MCU on a pseudo-terminal in real time: what the tool writes to the slave
// device reaches the simulator as it arrives, and each byte of the answer is written to the
// master when its tick comes. A dropped line hangs the pseudo-terminal up.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string_view>

#include "platform/clock.h"
#include "sim/mcu_simulator.h"
#include "sim/pseudo_terminal.h"

namespace velkor::sim {

class PtyTransport {
  public:
    using TrafficLog = std::function<void(std::string_view)>;

    // `terminal` must be open. The simulator's ticks come from `clock`.
    PtyTransport(PseudoTerminal& terminal, McuSimulator& simulator, Clock& clock);

    // Gets one line for every chunk of bytes in either direction and for a dropped line.
    void SetTrafficLog(TrafficLog log) { traffic_log_ = std::move(log); }

    // Serves until `stop_fd` becomes readable (0), or until the pseudo-terminal fails (its
    // errno). After a dropped line it only waits for `stop_fd`.
    int Serve(int stop_fd);

  private:
    // Writes the bytes whose tick has come; false when the master takes no more for now.
    bool WriteDue(std::uint32_t now_ms);
    // Milliseconds until the next thing to do, or -1 when only input can start anything.
    int NextWakeMs(std::uint32_t now_ms, bool output_blocked) const;
    int ReadInput();
    // Takes whatever the tool has written and not yet been read.
    void DrainInput();
    void Log(std::string_view text) const;

    PseudoTerminal& terminal_;
    McuSimulator& simulator_;
    Clock& clock_;
    TrafficLog traffic_log_;
    std::deque<TimedByte> pending_;
    bool dropped_ = false;
};

}  // namespace velkor::sim
