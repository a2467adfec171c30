#include "app/worker_steps.h"

#include "app/report.h"
#include "image/firmware_image.h"
#include "link/mcu_link.h"
#include "settings/model_resolution.h"
#include "settings/profile.h"
#include "settings/settings_keys.h"
#include "settings/unit_types.h"

namespace velkor {
namespace {

constexpr std::uint32_t kInformationPauseMs = 100;
constexpr std::uint32_t kChecksumPauseMs = 500;
// Result of a step that has no link or image to work on.
constexpr int kNothingToWorkOn = 1;

int IdentifyModel(UpdateSession& session) {
    ToolState& state = session.state;
    if (state.app_type == kAppTypeUndetermined) {
        state.app_type =
            ValidAppType(ProfileReadInt(kUpdateConfigSection, kAppTypeKey, 0, state.settings_file));
        if (state.app_type == kAppTypeUndetermined) {
            state.app_type = ResolveModel(state.manager_path, state.file_system_root);
        }
    }
    return state.app_type;
}

int ReadMcuType(UpdateSession& session) {
    ToolState& state = session.state;
    if (state.mcu_type == kMcuTypeUndetermined) {
        state.mcu_type =
            ValidMcuType(ProfileReadInt(kUpdateConfigSection, kMcuTypeKey, 0, state.settings_file));
    }
    session.programming.slave =
        ProfileReadInt(kUpdateConfigSection, kMcuSlaveKey, 0, state.settings_file) != 0;
    return state.mcu_type;
}

int OpenLink(UpdateSession& session) {
    switch (session.state.app_type) {
        case kAppTypeR3360:
            session.current_link = &session.links.ascii;
            AppendLog("\r\nR3360\r\n");
            break;
        case kAppTypeJ5:
            session.current_link = &session.links.frame;
            AppendLog("\r\nJ5\r\n");
            break;
        default:
            break;
    }
    return session.current_link != nullptr ? session.current_link->OpenDefault()
                                           : kOpenNoPortDefined;
}

int ReadInformation(UpdateSession& session) {
    CMcuLink& link = *session.current_link;
    link.SendPrelude();
    if (!session.context.Pause(kInformationPauseMs)) {
        return kLinkTimedOut;  // stopped: the report goes nowhere
    }
    return link.QueryInformation();
}

int LoadFile(UpdateSession& session) {
    AppendLog("======== File Information ========\r\n");
    AppendLog(session.state.firmware_path);
    AppendLog("\r\n");
    if (session.current_image == nullptr) {
        AppendLog(kLogCannotOpen);
        return kLoadCannotOpen;
    }
    return session.current_image->Load(session.state.firmware_path);
}

int ProgramImage(UpdateSession& session) {
    if (session.current_image == nullptr || session.current_image->Buffer() == nullptr) {
        return -1;
    }
    return session.current_link->Program(session.current_image->Buffer());
}

int ReadChecksum(UpdateSession& session) {
    if (!session.context.Pause(kChecksumPauseMs)) {
        return kLinkTimedOut;  // stopped: the report goes nowhere
    }
    return session.current_link->QueryChecksum();
}

}  // namespace

int ValidAppType(int value) {
    return value == kAppTypeR3360 || value == kAppTypeJ5 ? value : kAppTypeUndetermined;
}

int ValidMcuType(int value) {
    return value >= kMcuTypeStm8 && value <= kMcuTypeM3 ? value : kMcuTypeUndetermined;
}

int RunWorkerCommand(UpdateSession& session, std::uint32_t command) {
    const bool has_link = session.current_link != nullptr;
    switch (command) {
        case kCommandIdentifyModel:
            return IdentifyModel(session);
        case kCommandReadMcuType:
            return ReadMcuType(session);
        case kCommandOpenLink:
            return OpenLink(session);
        case kCommandReadVersion:
            return has_link ? session.current_link->QueryVersion() : kNothingToWorkOn;
        case kCommandReadInformation:
            return has_link ? ReadInformation(session) : kNothingToWorkOn;
        case kCommandLoadFile:
            return LoadFile(session);
        case kCommandProgram:
            return has_link ? ProgramImage(session) : -1;
        case kCommandReset:
            if (has_link) {
                session.current_link->Close();
            }
            return 0;
        case kCommandReadChecksum:
            return has_link ? ReadChecksum(session) : kNothingToWorkOn;
        default:
            return 0;
    }
}

}  // namespace velkor
