// The serial dialect of one head-unit model, as the MCU speaks it: it recognises the host's
// commands in the received byte stream and encodes the MCU's replies.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "settings/unit_types.h"
#include "sim/sim_command.h"
#include "sim/timed_byte.h"

namespace velkor::sim {

class McuDialect {
  public:
    virtual ~McuDialect() = default;

    // Takes one received byte; returns the command this byte completes, if any.
    virtual std::optional<SimCommand> Feed(std::uint8_t byte) = 0;

    // The acknowledgement of `command`; empty when the command asks for none.
    virtual Bytes Acknowledgement(const SimCommand& command) const = 0;
    virtual Bytes VersionReply(std::string_view text) const = 0;
    virtual Bytes ChecksumReply(std::uint32_t checksum) const = 0;
};

// The dialect of `model`: ASCII for R3360 units, framed for J5 units.
std::unique_ptr<McuDialect> MakeMcuDialect(AppType model);

}  // namespace velkor::sim
