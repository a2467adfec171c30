// Serves a simulated MCU on a pseudo-terminal in real time: what the tool writes to the slave
// device reaches the simulator as it arrives, and each byte of the answer is written to the
// master when its tick comes. A dropped line hangs the pseudo-terminal up. The unit can be taken
// off the line and another put on while the pseudo-terminal stays, as on a test fixture.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string_view>

#include "platform/clock.h"
#include "sim/mcu_simulator.h"
#include "sim/pseudo_terminal.h"

namespace velkor::sim {

class PtyTransport {
  public:
    using TrafficLog = std::function<void(std::string_view)>;

    // `terminal` must be open; `simulator` is on the line. The simulators' ticks come from
    // `clock`.
    PtyTransport(PseudoTerminal& terminal, McuSimulator& simulator, Clock& clock);

    // Takes the unit off the line, as a powered-off one: from now on what the tool writes is
    // read and dropped, and nothing is sent, not even the rest of an answer under way.
    void Unplug();
    // Puts `simulator` on the line in place of any unit there; it must outlive its time there.
    void PlugIn(McuSimulator& simulator);
    bool plugged_in() const { return simulator_ != nullptr; }

    // Gets one line for every chunk of bytes in either direction and for a dropped line.
    void SetTrafficLog(TrafficLog log) { traffic_log_ = std::move(log); }
    // Called once when the unit hangs the line up.
    void SetHangUpHandler(std::function<void()> handler) { hang_up_ = std::move(handler); }

    // Serves until `wake_fd` becomes readable (0), having taken what the tool wrote so far, or
    // until the pseudo-terminal fails (its errno). May be called again to serve on. After a
    // dropped line it only waits for `wake_fd`: the pseudo-terminal is gone for good.
    int Serve(int wake_fd);

  private:
    // Writes the bytes whose tick has come; false when the master takes no more for now.
    bool WriteDue(std::uint32_t now_ms);
    // Milliseconds until the next thing to do, or -1 when only input can start anything.
    int NextWakeMs(std::uint32_t now_ms, bool output_blocked) const;
    int ReadInput();
    // Takes whatever the tool has written and not yet been read.
    void DrainInput();
    // When the unit on the line hangs it up; none without a unit.
    std::optional<std::uint32_t> DropTimeMs() const;
    void Log(std::string_view text) const;

    PseudoTerminal& terminal_;
    McuSimulator* simulator_;  // none while no unit is on the line
    Clock& clock_;
    TrafficLog traffic_log_;
    std::function<void()> hang_up_;
    std::deque<TimedByte> pending_;
    bool dropped_ = false;
};

}  // namespace velkor::sim
