// The tool's family objects talking to a simulated unit of one model and MCU family,
// in-process on virtual time, and firmware images generated for that unit.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "link/link_context.h"
#include "platform/clock.h"
#include "procedures/family_links.h"
#include "sim/fake_port_transport.h"
#include "sim/firmware_builder.h"
#include "sim/record_format.h"
#include "sim/sim_config.h"
#include "support/capture_sink.h"
#include "testing/fake_serial_port.h"

namespace velkor::testing {

struct UnitCase {
    const char* name;
    AppType model;
    McuType family;
    std::size_t block_size;
};

// The six family classes, in the order of FamilyLinks.
inline constexpr UnitCase kUnits[] = {
    {"CStm8AsciiLink", kAppTypeR3360, kMcuTypeStm8, 128},
    {"CNecAsciiLink", kAppTypeR3360, kMcuTypeNec, 256},
    {"CM3AsciiLink", kAppTypeR3360, kMcuTypeM3, 256},
    {"CStm8FrameLink", kAppTypeJ5, kMcuTypeStm8, 128},
    {"CNecFrameLink", kAppTypeJ5, kMcuTypeNec, 256},
    {"CM3FrameLink", kAppTypeJ5, kMcuTypeM3, 256},
};

// A firmware image for the unit whose replies `config` holds.
inline std::vector<std::uint8_t> FirmwareFor(const sim::SimConfig& config, bool mismatch = false,
                                             std::uint32_t seed = 7) {
    sim::FirmwareIdentity identity;
    identity.model = config.model;
    identity.family = config.family;
    identity.version_text = config.version_text;
    identity.information_text = config.information_text;
    identity.mismatch = mismatch;
    return sim::BuildFirmwareImage(identity, seed);
}

struct UnitBench {
    static constexpr std::uint32_t kStartMs = 70000;

    explicit UnitBench(sim::SimConfig config)
        : model(config.model), mcu(config.family), transport(port, std::move(config)) {
        port.Open("/dev/fake");
    }

    CMcuLink& plain() { return *links.Plain(model); }
    CMcuLink& family() { return *links.Select(model, mcu); }
    sim::SimulatedUnit& unit() { return transport.unit(); }

    // The replies the file check reads, as the update sequence gathers them.
    void Identify() {
        plain().QueryVersion();
        plain().QueryInformation();
        capture.Clear();
    }

    // Data records written to the port, in order.
    std::vector<std::vector<std::uint8_t>> DataRecords(std::size_t block_size) const {
        std::vector<std::vector<std::uint8_t>> records;
        for (const auto& write : port.writes()) {
            if (write.bytes.size() == block_size) {
                records.push_back(write.bytes);
            }
        }
        return records;
    }

    AppType model;
    McuType mcu;
    VirtualClock clock{kStartMs};
    FakeSerialPort port{clock};
    CaptureSink capture;
    LinkContext context{port, clock, capture.report};
    ProgrammingState state;
    FamilyLinks links{context, state};
    sim::FakePortTransport transport;
};

// Bytes [range) of `bytes`.
inline std::vector<std::uint8_t> RangeOf(std::span<const std::uint8_t> bytes,
                                         sim::FlashRange range) {
    return {bytes.begin() + range.begin, bytes.begin() + range.end};
}

}  // namespace velkor::testing
