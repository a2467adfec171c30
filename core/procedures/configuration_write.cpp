#include "procedures/configuration_write.h"

#include "procedures/procedure_messages.h"
#include "procedures/procedure_timing.h"
#include "report/report.h"

namespace velkor {
namespace {

constexpr int kProgressMaximum = 100;
constexpr int kProgressSent = 50;

}  // namespace

int WriteUnitOptions(CMcuLink& link, std::uint8_t ack_command, int send_failed_result,
                     const std::function<bool()>& send) {
    LinkContext& context = link.context();
    link.report().ProgressReset(kProgressMaximum);
    link.report().ProgressSet(kProgressSent);
    if (!context.Pause(kConfigurationSettleMs)) {
        return send_failed_result;  // stopped: nothing sent, and the report goes nowhere
    }
    link.Purge();
    const bool sent = send();
    context.Pause(kConfigurationSettleMs);
    link.report().ProgressSet(kProgressSent);
    // An acknowledgement of a command that never went out would report a change the MCU
    // never got.
    const int result =
        sent ? link.WaitAck(ack_command, kConfigurationAckTimeoutMs) : send_failed_result;
    if (result == 0) {
        link.report().ProgressSet(kProgressMaximum);
        link.report().AppendOutcome(kLogConfigComplete);
    } else {
        link.report().AppendOutcome(kLogConfigFail);
    }
    return result;
}

}  // namespace velkor
