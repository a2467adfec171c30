#include "gui/window_record.h"

#include <chrono>
#include <string>

#include "devices/device_facts.h"
#include "link/mcu_link.h"
#include "procedures/family_options.h"
#include "record/record_file.h"
#include "record/record_json.h"
#include "record/session_facts.h"
#include "settings/port_name.h"
#include "settings/profile.h"
#include "settings/settings_keys.h"

namespace velkor {
namespace {

// velkor-flash's exit statuses for the same outcomes, so that both records read alike.
constexpr int kUpdateFailedStatus = 5;
constexpr int kOptionsNotWrittenStatus = 3;

}  // namespace

void RecordWindowRun(UpdateSession& session, McuWriteKind kind, int result, std::uint32_t took_ms) {
    const ToolState& state = session.state;
    std::string name;
    ProfileReadString(kUpdateConfigSection, kRecordFileKey, "", name, kRecordFileCapacity,
                      state.settings_file);
    if (name.empty()) {
        return;
    }
    const bool firmware = kind == McuWriteKind::kFirmware;
    RunRecord record = StartRecord(firmware ? "update" : "apply");
    record.time -= std::chrono::milliseconds(took_ms);
    record.duration_ms = took_ms;
    if (!state.device.empty()) {
        record.port = state.device;
    } else if (session.current_link != nullptr) {
        record.port = ResolvePortDevice(session.current_link->port_name(), state.settings_file);
    }
    // Looked up as the run ends: the window keeps one device for all its runs.
    record.device = DeviceFactsOf(record.port);
    record.model = static_cast<AppType>(state.app_type);
    record.family = static_cast<McuType>(state.mcu_type);
    record.slave = session.programming.slave != 0;
    TakeUnitFacts(session, record);
    if (firmware) {
        TakeFileFacts(session, record);
        // Programmed after a warning: a deliberate touch, as --force is on the command line.
        record.forced = !ConfirmedForUnattendedUpdate(session.programming.check_verdict);
        record.result = result == 0 ? "updated" : "program_failed";
        record.exit_code = result == 0 ? 0 : kUpdateFailedStatus;
    } else {
        if (const FamilyDescriptor* family = FamilyOf(record.model, record.family)) {
            if (session.reported_options) {
                record.options_read =
                    NameOptions(*session.reported_options, ReportedOptions(*family));
            }
            record.options_written =
                NameOptions(session.programming.unit_options, CarriedOptions(*family));
        }
        record.result = result == 0 ? "configured" : "not_written";
        record.exit_code = result == 0 ? 0 : kOptionsNotWrittenStatus;
    }

    std::string error;
    if (!AppendRecordBelow(state.program_directory, name, RecordLine(RecordJson(record)), error)) {
        std::string line = "Record not kept: ";
        line += error;
        line += "\r\n";
        session.report.AppendLog(line);
    }
}

}  // namespace velkor
