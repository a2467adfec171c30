#include "sim/fake_port_transport.h"

#include <utility>

namespace velkor::sim {

FakePortTransport::FakePortTransport(FakeSerialPort& port, SimConfig config)
    : port_(port), simulator_(std::move(config), port.clock().NowMs()) {
    port_.SetWriteHook(
        [this](FakeSerialPort&, std::span<const std::uint8_t> written) { Deliver(written); });
    ApplyDrop();
}

FakePortTransport::~FakePortTransport() {
    port_.SetWriteHook(nullptr);
}

void FakePortTransport::Deliver(std::span<const std::uint8_t> written) {
    const TimedBytes answer = simulator_.Receive(written, port_.clock().NowMs());
    // Bytes of the same tick go in together; the port keeps them in order.
    Bytes same_tick;
    for (std::size_t i = 0; i < answer.size(); ++i) {
        same_tick.push_back(answer[i].byte);
        if (i + 1 == answer.size() || answer[i + 1].at_ms != answer[i].at_ms) {
            port_.ArriveAt(answer[i].at_ms, same_tick);
            same_tick.clear();
        }
    }
    ApplyDrop();
}

void FakePortTransport::ApplyDrop() {
    if (const auto drop = simulator_.DropTimeMs()) {
        port_.faults().read_from_ms = *drop;
    }
}

}  // namespace velkor::sim
