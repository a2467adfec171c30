// Runs a simulated MCU in-process behind a FakeSerialPort on virtual time: what the link
// writes reaches the simulator at once, and its answer is scheduled on the port to arrive at
// the virtual ticks the simulator gives. A dropped line makes the port's reads fail.
#pragma once

#include "sim/mcu_simulator.h"
#include "sim/sim_config.h"
#include "testing/fake_serial_port.h"

namespace velkor::sim {

class FakePortTransport {
  public:
    // Takes over the port's write hook until destroyed.
    FakePortTransport(FakeSerialPort& port, SimConfig config);
    ~FakePortTransport();
    FakePortTransport(const FakePortTransport&) = delete;
    FakePortTransport& operator=(const FakePortTransport&) = delete;

    McuSimulator& simulator() { return simulator_; }
    SimulatedUnit& unit() { return simulator_.unit(); }

  private:
    void Deliver(std::span<const std::uint8_t> written);
    void ApplyDrop();

    FakeSerialPort& port_;
    McuSimulator simulator_;
};

}  // namespace velkor::sim
