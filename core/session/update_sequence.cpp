#include "session/update_sequence.h"

#include <cstdio>

#include "image/firmware_image.h"
#include "link/mcu_link.h"
#include "platform/text.h"
#include "report/report.h"
#include "session/control_ids.h"
#include "session/sequence_messages.h"
#include "session/worker_steps.h"
#include "settings/profile.h"
#include "settings/settings_keys.h"
#include "settings/unit_types.h"

namespace velkor {
namespace {

std::string Hex8(std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

}  // namespace

UpdateSequence::UpdateSequence(UpdateSession& session, WorkerHandOff& hand_off, SequenceView& view)
    : session_(session), hand_off_(hand_off), view_(view) {}

std::optional<std::string> UpdateSequence::TypeDisplayText(int mcu_type, int app_type, bool slave) {
    const char* family = nullptr;
    switch (mcu_type) {
        case kMcuTypeStm8:
            family = "STM8";
            break;
        case kMcuTypeNec:
            family = "NEC";
            break;
        case kMcuTypeM3:
            family = "M3";
            break;
        default:
            return std::nullopt;
    }
    const char* model = nullptr;
    switch (app_type) {
        case kAppTypeR3360:
            model = "R3360";
            break;
        case kAppTypeJ5:
            model = "J5";
            break;
        default:
            return std::nullopt;
    }
    return std::string(family) + (slave ? "(SLAVE)" : "") + "-" + model;
}

void UpdateSequence::OnWorkerReport(std::uint32_t command, int result) {
    switch (command) {
        case kCommandIdentifyModel:
            if (result != 0) {
                view_.ShowControl(kIdRadioR3360, false);
                view_.ShowControl(kIdRadioJ5, false);
                view_.ShowControl(kIdContinue, false);
                Command(kCommandOpenLink);
            } else {
                view_.StartTypeSelectionTimer();
            }
            break;
        case kCommandReadMcuType:
            if (result == 0) {
                view_.StartTypeSelectionTimer();
            } else {
                FamilyStep(result);
            }
            break;
        case kCommandOpenLink:
            if (result != 0) {
                view_.ShowComErrorAndQuit();
            } else {
                Command(kCommandReadVersion);
            }
            break;
        case kCommandReadVersion:
            if (result == 0) {
                view_.ShowControl(kIdRetry, false);
                Command(kCommandReadChecksum);
            } else {
                view_.EnableControl(kIdRetry, true);
                view_.ShowControl(kIdRetry, true);
            }
            break;
        case kCommandReadInformation:
            Command(kCommandReadMcuType);
            break;
        case kCommandLoadFile:
            LoadStep(result);
            break;
        case kCommandProgram:
            session_.report.AppendLog(result == 0 ? kLogUpdateComplete : kLogUpdateFail);
            programming_ = false;
            view_.McuWriteEnded(McuWriteKind::kFirmware, result,
                                session_.context.ElapsedSince(mcu_write_started_ms_));
            break;
        case kCommandReset:
            ResetStep();
            break;
        case kCommandReadChecksum:
            if (result == 0) {
                view_.SetControlText(kIdMcuChecksum, Hex8(session_.context.replies.checksum));
            }
            Command(kCommandReadInformation);
            break;
        default:
            break;
    }
}

void UpdateSequence::FamilyStep(int mcu_type) {
    ToolState& state = session_.state;
    session_.SelectFamily(mcu_type);
    if (auto text = TypeDisplayText(mcu_type, state.app_type, session_.programming.slave)) {
        view_.SetControlText(kIdTypeDisplay, *text);
    }
    view_.EnableControl(kIdOpen, true);
    view_.ShowControl(kIdOpen, true);
    view_.EnableControl(kIdUpdate, false);
    view_.ShowControl(kIdUpdate, true);
    view_.LayOutOptionPanel(state.app_type, mcu_type, session_.programming.slave);

    session_.programming.unit_options = {};
    if (session_.current_link != nullptr) {
        session_.current_link->DecodeOptions();
        session_.reported_options = session_.programming.unit_options;
    }
    view_.ShowUnitOptions(session_.programming.unit_options);

    state.auto_update = false;
    ProfileReadString(kUpdateConfigSection, kFireFileKey, "", state.firmware_path,
                      kFireFileCapacity, state.settings_file);
    if (!state.firmware_path.empty()) {
        // Nobody touched anything: a file reached through ".." or through another user's link
        // (the folder may be writable by a group), or one that is no regular file, is not
        // loaded, and the run waits for a file chosen with "Open".
        const BelowFolder place = CheckBelowFolder(state.program_directory, state.firmware_path);
        if (place != BelowFolder::kInside) {
            session_.report.AppendLog(FireFileRefusedLine(place));
            state.firmware_path.clear();
            return;
        }
        state.auto_update = true;
        // Joined as text: a value that begins with a slash still names a path below the
        // program directory (though a ".." in it would lead out, which the check above refuses).
        const bool rooted = state.firmware_path.front() == '/';
        state.firmware_path =
            state.program_directory.string() + (rooted ? "" : "/") + state.firmware_path;
        FileStep();
    }
}

void UpdateSequence::LoadStep(int result) {
    ToolState& state = session_.state;
    view_.EnableControl(kIdOpen, true);
    view_.EnableControl(kIdApply, true);
    ProgrammingState& programming = session_.programming;
    programming.file_checksum_valid = false;
    programming.check_verdict = FileVerdict::kNotChecked;
    if (result != kLoadOk) {
        view_.EnableControl(kIdUpdate, false);
    } else {
        session_.CheckFirmware();
        view_.EnableControl(kIdUpdate, true);
    }
    // The number beside "File Checksum" must belong to the file now loaded, or be blank.
    view_.SetControlText(kIdFileChecksum, programming.file_checksum_valid
                                              ? Hex8(programming.file_checksum)
                                              : std::string(kNoChecksum));
    if (result == kLoadOk && state.auto_update) {
        // Nobody may be there to read a warning: only a whole file that the check confirmed
        // starts itself. The check reads the description block, which a file cut short after
        // it still has.
        const RecordFacts& facts = session_.current_image->record_facts();
        if (!facts.Whole()) {
            session_.report.AppendLog(AutoUpdateNotWholeLine(facts));
        } else if (ConfirmedForUnattendedUpdate(programming.check_verdict)) {
            OnUpdate();
        } else {
            session_.report.AppendLog(AutoUpdateNotStartedLine(programming.check_verdict));
        }
    }
    state.auto_update = false;
}

void UpdateSequence::ResetStep() {
    session_.report.ProgressSet(0);
    view_.LayOutOptionPanel(kAppTypeUndetermined, kMcuTypeUndetermined, false);
    view_.SetControlText(kIdTypeDisplay, std::string(kTypeUnknown));
    for (int id : {kIdOpen, kIdUpdate, kIdRetry, kIdContinue}) {
        view_.EnableControl(id, false);
        view_.ShowControl(id, false);
    }
    view_.SetControlText(kIdMcuChecksum, std::string(kNoChecksum));
    view_.SetControlText(kIdFileChecksum, std::string(kNoChecksum));
    Command(kCommandIdentifyModel);
}

void UpdateSequence::FileStep() {
    view_.EnableControl(kIdOpen, false);
    view_.EnableControl(kIdUpdate, false);
    view_.EnableControl(kIdApply, false);
    Command(kCommandLoadFile);
}

void UpdateSequence::OnOpen() {
    const std::string info = Latin1ToUtf8(session_.context.replies.VersionText());
    if (auto path = view_.RunFileBrowser(info)) {
        session_.state.firmware_path = *path;
        FileStep();
    }
}

void UpdateSequence::OnUpdate() {
    for (int id : {kIdOpen, kIdUpdate, kIdQuit, kIdApply}) {
        view_.EnableControl(id, false);
    }
    programming_ = true;
    mcu_write_started_ms_ = session_.context.clock.NowMs();
    Command(kCommandProgram);
}

void UpdateSequence::OnRetry() {
    view_.EnableControl(kIdRetry, false);
    Command(kCommandReadVersion);
}

void UpdateSequence::OnApply() {
    for (int id : {kIdApply, kIdOpen, kIdUpdate, kIdQuit}) {
        view_.EnableControl(id, false);
    }
    session_.programming.unit_options = view_.SelectedUnitOptions();
    if (session_.current_link != nullptr) {
        configuring_ = true;
        mcu_write_started_ms_ = session_.context.clock.NowMs();
        const int result = session_.current_link->WriteConfiguration();
        configuring_ = false;
        view_.McuWriteEnded(McuWriteKind::kOptions, result,
                            session_.context.ElapsedSince(mcu_write_started_ms_));
    }
}

void UpdateSequence::RunTypeSelection() {
    if (!hand_off_.idle()) {
        return;  // the worker is busy: the port and the choices are not ours to change
    }
    ToolState& state = session_.state;
    const TypeChoice current{state.app_type, state.mcu_type, session_.programming.slave};
    const std::optional<TypeChoice> choice = view_.RunTypeDialog(current);
    if (!choice) {
        return;
    }
    state.app_type = choice->app_type;
    state.mcu_type = choice->mcu_type;
    session_.programming.slave = choice->slave;
    ProfileWriteString(kUpdateConfigSection, kMcuTypeKey, std::to_string(choice->mcu_type),
                       state.settings_file);
    ProfileWriteString(kUpdateConfigSection, kMcuSlaveKey, std::to_string(choice->slave),
                       state.settings_file);
    Command(kCommandReset);
}

}  // namespace velkor
