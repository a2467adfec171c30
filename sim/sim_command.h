// A command the simulated MCU recognised in what the host sent.
#pragma once

#include <cstdint>
#include <string_view>

#include "sim/timed_byte.h"

namespace velkor::sim {

enum class SimCommandKind {
    kQueryVersion,
    kQueryChecksum,
    kQueryInformation,
    kPrelude,  // accepted and ignored
    // Into the boot loader, for the main MCU, the main MCU of a unit from major version 4 on,
    // or the slave MCU.
    kEnterMainProgramming,
    kEnterMainProgrammingV4,
    kEnterSlaveProgramming,
    kConfigure,  // the unit options; the letters or option bytes are in `received`
    kUnknown,    // well-formed, but not a command this MCU knows: ignored
    kCorrupted,  // a frame with a wrong check byte, or a line too long to be a command
};

struct SimCommand {
    SimCommandKind kind = SimCommandKind::kUnknown;
    std::uint8_t code = 0;  // command code of a frame; 0 in the ASCII dialect
    bool wants_ack = true;  // frames in mode BB are not acknowledged
    Bytes received;         // the command's bytes, for the traffic log
};

std::string_view DescribeCommand(SimCommandKind kind);

}  // namespace velkor::sim
