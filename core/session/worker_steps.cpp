#include "session/worker_steps.h"

namespace velkor {

int RunWorkerCommand(UpdateSession& session, std::uint32_t command) {
    switch (command) {
        case kCommandIdentifyModel:
            return session.IdentifyModel();
        case kCommandReadMcuType:
            return session.ReadMcuType();
        case kCommandOpenLink:
            return session.OpenModelLink();
        case kCommandReadVersion:
            return session.ReadVersion();
        case kCommandReadInformation:
            return session.ReadInformation();
        case kCommandLoadFile:
            return session.LoadFirmware();
        case kCommandProgram:
            return session.Program();
        case kCommandReset:
            session.Reset();
            return 0;
        case kCommandReadChecksum:
            return session.ReadChecksum();
        default:
            return 0;
    }
}

}  // namespace velkor
