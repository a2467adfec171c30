#include "session/update_session.h"

#include "image/firmware_image.h"
#include "settings/model_resolution.h"
#include "settings/profile.h"
#include "settings/settings_keys.h"
#include "settings/unit_types.h"

namespace velkor {
namespace {

constexpr std::uint32_t kInformationPauseMs = 100;
constexpr std::uint32_t kChecksumPauseMs = 500;
// Result of a step that has no link to work on.
constexpr int kNothingToWorkOn = 1;

constexpr std::string_view kLogFileInformation = "======== File Information ========\r\n";

// Values of "AppType" and "McuType" that name no model or family count as undetermined.
int ValidAppType(int value) {
    return value == kAppTypeR3360 || value == kAppTypeJ5 ? value : kAppTypeUndetermined;
}

int ValidMcuType(int value) {
    return value >= kMcuTypeStm8 && value <= kMcuTypeM3 ? value : kMcuTypeUndetermined;
}

}  // namespace

int UpdateSession::IdentifyModel() {
    if (state.app_type == kAppTypeUndetermined) {
        state.app_type =
            ValidAppType(ProfileReadInt(kUpdateConfigSection, kAppTypeKey, 0, state.settings_file));
        if (state.app_type == kAppTypeUndetermined) {
            state.app_type = ResolveModel(state.manager_path, state.file_system_root);
        }
    }
    return state.app_type;
}

int UpdateSession::ReadMcuType() {
    if (state.mcu_type == kMcuTypeUndetermined) {
        state.mcu_type =
            ValidMcuType(ProfileReadInt(kUpdateConfigSection, kMcuTypeKey, 0, state.settings_file));
    }
    programming.slave = ProfileReadInt(kUpdateConfigSection, kMcuSlaveKey, 0, state.settings_file);
    return state.mcu_type;
}

int UpdateSession::OpenLink() {
    if (CMcuLink* plain = links.Plain(state.app_type)) {
        current_link = plain;
    }
    if (current_link == nullptr) {
        return kOpenNoPortDefined;
    }
    return state.device.empty() ? current_link->OpenDefault()
                                : current_link->Open(state.device, current_link->baud_rate());
}

int UpdateSession::OpenModelLink() {
    switch (state.app_type) {
        case kAppTypeR3360:
            report.AppendLog("\r\nR3360\r\n");
            break;
        case kAppTypeJ5:
            report.AppendLog("\r\nJ5\r\n");
            break;
        default:
            break;
    }
    return OpenLink();
}

int UpdateSession::ReadVersion() {
    return current_link != nullptr ? current_link->QueryVersion() : kNothingToWorkOn;
}

int UpdateSession::ReadChecksum() {
    if (current_link == nullptr) {
        return kNothingToWorkOn;
    }
    if (!context.Pause(kChecksumPauseMs)) {
        return kLinkTimedOut;  // stopped: the report goes nowhere
    }
    const int result = current_link->QueryChecksum();
    if (result == kLinkOk) {
        reported_checksum = context.replies.checksum;
    }
    return result;
}

int UpdateSession::ReadInformation() {
    if (current_link == nullptr) {
        return kNothingToWorkOn;
    }
    current_link->SendPrelude();
    if (!context.Pause(kInformationPauseMs)) {
        return kLinkTimedOut;  // stopped: the report goes nowhere
    }
    return current_link->QueryInformation();
}

void UpdateSession::SelectFamily(int mcu_type) {
    current_image = mcu_type == kMcuTypeStm8 ? static_cast<CFirmwareImage*>(&s19_image)
                                             : static_cast<CFirmwareImage*>(&hex_image);
    if (CMcuLink* family = links.Select(state.app_type, mcu_type)) {
        current_link = family;
    }
}

int UpdateSession::LoadFirmware() {
    report.AppendLog(kLogFileInformation);
    report.AppendLog(state.firmware_path);
    report.AppendLog("\r\n");
    if (current_image == nullptr) {
        report.AppendError(kLogCannotOpen);
        return kLoadCannotOpen;
    }
    const int result = current_image->Load(state.firmware_path);
    if (result == kLoadOk) {
        // Loaded as the file is; said, because programming it leaves a partial or empty MCU.
        const RecordFacts& facts = current_image->record_facts();
        if (facts.data_bytes == 0) {
            report.AppendError(kLogNoData);
        } else if (!facts.ends_with_end_record) {
            report.AppendError(kLogNoEndRecord);
        }
    }
    return result;
}

FileVerdict UpdateSession::CheckFirmware() {
    programming.file_checksum_valid = false;
    programming.check_verdict = FileVerdict::kNotChecked;
    if (current_link != nullptr && current_image != nullptr) {
        current_link->CheckFile(current_image->Buffer());
    }
    return programming.check_verdict;
}

int UpdateSession::Program() {
    programming.stream = StreamOutcome{};
    if (current_link == nullptr || current_image == nullptr || current_image->Buffer() == nullptr) {
        return -1;
    }
    return current_link->Program(current_image->Buffer());
}

void UpdateSession::Reset() {
    if (current_link != nullptr) {
        current_link->Close();
    }
    reported_checksum.reset();
    reported_options.reset();
}

}  // namespace velkor
