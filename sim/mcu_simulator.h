// The simulated MCU, independent of how bytes reach it: it takes what the host sent with the
// time it arrived, and returns what the MCU sends back, each byte with the time the host can
// read it. A transport (the fake port of the unit tests, or a pseudo-terminal) carries the
// bytes.
//
// Received bytes go to the dialect of the unit's model, which recognises commands; each
// command is answered from the unit's state, shaped by the faults, and scheduled on the
// transmit line. While the MCU is being programmed the boot loader of its family takes the
// bytes instead of the dialect.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "sim/boot_loader.h"
#include "sim/mcu_dialect.h"
#include "sim/receive_line.h"
#include "sim/sim_config.h"
#include "sim/simulated_unit.h"
#include "sim/tick_timeline.h"
#include "sim/timed_byte.h"
#include "sim/transmit_line.h"

namespace velkor::sim {

class McuSimulator {
  public:
    // Receives one line of text for each command and each fault applied, for a traffic log.
    using EventLog = std::function<void(std::string_view)>;

    // `start_ms`: the tick at which the simulator starts; a drop time counts from it.
    McuSimulator(SimConfig config, std::uint32_t start_ms);

    // Takes `bytes` the host sent, all arrived at `now_ms` (ticks never go backwards), and
    // returns the bytes the MCU sends in answer, in the order and at the ticks they arrive.
    // Once the line has dropped, nothing is taken and nothing sent.
    TimedBytes Receive(std::span<const std::uint8_t> bytes, std::uint32_t now_ms);

    // The tick from which the line is dropped (reads fail), once that is known.
    std::optional<std::uint32_t> DropTimeMs() const;

    void SetEventLog(EventLog log) { event_log_ = std::move(log); }

    SimulatedUnit& unit() { return unit_; }

    // True while the boot loader takes the received bytes.
    bool programming() const { return boot_loader_ && boot_loader_->active(); }

    // As a unit whose update was cut: in its boot loader, which answers no query and takes a
    // record stream for the main MCU. False when the unit has no family to program.
    bool StartInBootLoader();
    // Power back after a cut: a unit cut while its boot loader took records waits in it for
    // a new stream (the record it was reading lost); any other comes back in its application,
    // the flash as it was.
    void PowerOn();

  private:
    std::optional<std::uint64_t> DropNs() const;
    void Handle(const SimCommand& command, std::uint64_t now_ns, std::vector<LineByte>& out);
    void EnterProgramming(const SimCommand& command, std::uint64_t now_ns,
                          std::vector<LineByte>& out);
    void Configure(const SimCommand& command, std::uint64_t now_ns, std::vector<LineByte>& out);
    void Conclude(const BootLoader::Outcome& outcome, std::uint64_t now_ns,
                  std::vector<LineByte>& out);
    // Hangs the line up shortly after the last byte sent so far.
    void DropLineAfter(std::uint64_t now_ns, const std::vector<LineByte>& out);
    // Sends acknowledgement and reply of a query in `scope`, with the faults that hit it.
    void Answer(const SimCommand& command, Bytes reply, unsigned scope, std::uint64_t now_ns,
                std::vector<LineByte>& out);
    void Log(std::string_view text) const;
    // Whether the reply faults hit the command being handled, which is in `scope`.
    bool FaultHits(unsigned scope);

    AppType model_;
    McuType family_;
    SimFaults faults_;
    std::uint32_t reply_delay_ms_;
    SimulatedUnit unit_;
    std::unique_ptr<McuDialect> dialect_;
    // None when the family is undetermined: such a unit cannot be programmed.
    std::optional<BootLoader> boot_loader_;
    TickTimeline timeline_;
    ReceiveLine receive_line_;
    TransmitLine line_;
    std::optional<std::uint64_t> boot_loader_drop_ns_;
    EventLog event_log_;
    bool drop_reported_ = false;
    // The unit did not come back from the reset after an update: it takes no more commands.
    bool gone_ = false;
    // Commands handled, and how many of them the reply faults have hit.
    std::size_t commands_handled_ = 0;
    std::size_t last_faulted_command_ = 0;
    std::size_t faulted_commands_ = 0;
};

}  // namespace velkor::sim
