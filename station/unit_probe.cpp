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

struct UnitWatch::Open {
    Open(const std::string& device, AppType model, RunStop* stop)
        : session(port, clock, {}, nullptr), watch(stop, session.context) {
        session.state.app_type = model;
        session.state.device = device;
        session.context.port_source = kPortSourceCommandLine;
    }
    PosixSerialPort port;
    RealClock clock;
    UpdateSession session;  // nothing logged
    RunStop::Watch watch;
};

UnitWatch::UnitWatch(std::string device, AppType model, RunStop* stop)
    : device_(std::move(device)), model_(model), stop_(stop) {}

UnitWatch::~UnitWatch() = default;

ProbeResult UnitWatch::Poll() {
    ProbeResult result;
    if (!open_) {
        auto opened = std::make_unique<Open>(device_, model_, stop_);
        if (opened->session.OpenLink() != kOpenOk) {
            result.error = opened->session.context.open_error;
            if (IsResourceShortage(result.error)) {
                result.presence = Presence::kStationFault;
            }
            return result;
        }
        open_ = std::move(opened);
    }
    UpdateSession& session = open_->session;
    result.presence = Presence::kSilent;
    if (session.ReadVersion() != kLinkOk) {
        open_.reset();  // opened again next time: a line that hung up then says so
        return result;
    }
    result.presence = Presence::kAnswers;
    result.version_text = std::string(session.context.replies.VersionText());
    if (session.ReadChecksum() == kLinkOk) {
        result.checksum = session.context.replies.checksum;
    }
    return result;
}

}  // namespace velkor
