// The steps the worker thread runs, one per command, each ending in one report.
#pragma once

#include <cstdint>

#include "session/update_session.h"

namespace velkor {

enum WorkerCommand : std::uint32_t {
    kCommandNone = 0,
    kCommandIdentifyModel = 1,
    kCommandReadMcuType = 2,
    kCommandOpenLink = 3,
    kCommandReadVersion = 4,
    kCommandReadInformation = 5,
    kCommandLoadFile = 6,
    kCommandProgram = 7,
    kCommandReset = 8,
    kCommandReadChecksum = 9,
};

inline bool IsWorkerCommand(std::uint32_t command) {
    return command >= kCommandIdentifyModel && command <= kCommandReadChecksum;
}

// Runs step `command` (1 to 9) and returns the result its report carries.
int RunWorkerCommand(UpdateSession& session, std::uint32_t command);

}  // namespace velkor
