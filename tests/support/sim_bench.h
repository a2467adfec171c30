// The link objects of one model talking to a simulated MCU in-process, on virtual time.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

#include "link/ascii_link.h"
#include "link/frame_link.h"
#include "link/link_context.h"
#include "platform/clock.h"
#include "sim/fake_port_transport.h"
#include "sim/sim_config.h"
#include "support/capture_sink.h"
#include "testing/fake_serial_port.h"

namespace velkor::testing {

// The two models, so that each behaviour is checked in both dialects.
struct ModelCase {
    const char* name;
    AppType model;
    int read_failure;  // what a query returns when the line drops: 2 ASCII, 1 framed
};

inline constexpr ModelCase kModels[] = {
    {"R3360", kAppTypeR3360, 2},
    {"J5", kAppTypeJ5, 1},
};

struct SimBench {
    // Away from zero, so that a time taken from the wrong origin shows.
    static constexpr std::uint32_t kStartMs = 50000;

    explicit SimBench(sim::SimConfig config, std::uint32_t start_ms = kStartMs)
        : clock(start_ms), model(config.model), transport(port, std::move(config)) {
        port.Open("/dev/fake");
        if (model == kAppTypeJ5) {
            link = std::make_unique<CFrameLink>(context);
        } else {
            link = std::make_unique<CAsciiLink>(context);
        }
    }

    std::uint32_t Elapsed() { return clock.NowMs() - start; }
    McuReplies& replies() { return context.replies; }

    VirtualClock clock;
    std::uint32_t start = clock.NowMs();
    FakeSerialPort port{clock};
    CaptureSink capture;
    LinkContext context{port, clock, capture.report};
    AppType model;
    sim::FakePortTransport transport;
    std::unique_ptr<CMcuLink> link;
};

}  // namespace velkor::testing
