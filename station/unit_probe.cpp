#include "station/unit_probe.h"

#include "platform/clock.h"
#include "platform/posix_serial_port.h"
#include "platform/resource_shortage.h"
#include "session/update_session.h"

namespace velkor {

ProbeResult ProbeUnit(const std::string& device, AppType model, RunStop* stop) {
    PosixSerialPort port;
    RealClock clock;
    UpdateSession session(port, clock, {}, nullptr);  // nothing logged
    RunStop::Watch watch(stop, session.context);
    session.state.app_type = model;
    session.state.device = device;
    session.context.port_source = kPortSourceCommandLine;
    ProbeResult result;
    if (session.OpenLink() != kOpenOk) {
        result.error = session.context.open_error;
        if (IsResourceShortage(result.error)) {
            result.presence = Presence::kStationFault;
        }
        return result;
    }
    result.presence = Presence::kSilent;
    if (session.ReadVersion() == kLinkOk) {
        result.presence = Presence::kAnswers;
        result.version_text = std::string(session.context.replies.VersionText());
    }
    return result;
}

}  // namespace velkor
