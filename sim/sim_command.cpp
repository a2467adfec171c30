#include "sim/sim_command.h"

namespace velkor::sim {

std::string_view DescribeCommand(SimCommandKind kind) {
    switch (kind) {
        case SimCommandKind::kQueryVersion:
            return "version query";
        case SimCommandKind::kQueryChecksum:
            return "checksum query";
        case SimCommandKind::kQueryInformation:
            return "information query";
        case SimCommandKind::kEnterMainProgramming:
            return "programming entry, main MCU";
        case SimCommandKind::kEnterMainProgrammingV4:
            return "programming entry, main MCU from version 4 on";
        case SimCommandKind::kEnterSlaveProgramming:
            return "programming entry, slave MCU";
        case SimCommandKind::kConfigure:
            return "unit option command";
        case SimCommandKind::kPrelude:
            return "prelude command (ignored)";
        case SimCommandKind::kUnknown:
            return "unknown command (ignored)";
        case SimCommandKind::kCorrupted:
            return "corrupted command (ignored)";
    }
    return "command";
}

}  // namespace velkor::sim
