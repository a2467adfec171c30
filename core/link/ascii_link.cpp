#include "link/ascii_link.h"

#include "link/ascii_commands.h"
#include "link/ascii_matchers.h"
#include "link/link_messages.h"
#include "link/link_timing.h"
#include "report/report.h"

namespace velkor {

CAsciiLink::CAsciiLink(LinkContext& context)
    : CMcuLink(context, kDefaultPortName, kAsciiBaudRate) {}

int CAsciiLink::OpenDefault() {
    return Open(port_name(), baud_rate());
}

int CAsciiLink::ResultOf(ReplyWaitResult outcome) {
    switch (outcome) {
        case ReplyWaitResult::kComplete:
            return kLinkOk;
        case ReplyWaitResult::kTimedOut:
            return kLinkTimedOut;
        case ReplyWaitResult::kReadFailed:
            return kLinkReadFailed;
    }
    return kLinkTimedOut;
}

int CAsciiLink::WaitAck(std::uint8_t /*command*/, std::uint32_t timeout_ms) {
    AsciiAckMatcher matcher(kAsciiAck);
    return ResultOf(WaitForReply(context(), timeout_ms, matcher));
}

int CAsciiLink::ReadVersionReply(std::uint32_t timeout_ms) {
    AsciiVersionMatcher matcher(replies());
    return ResultOf(WaitForReply(context(), timeout_ms, matcher));
}

int CAsciiLink::ReadChecksumReply(std::uint32_t timeout_ms) {
    AsciiChecksumMatcher matcher(replies());
    return ResultOf(WaitForReply(context(), timeout_ms, matcher));
}

int CAsciiLink::QueryVersion() {
    Purge();
    NameCommand("version query", kAsciiQueryVersion);
    WriteString(kAsciiQueryVersion);
    Pause(kQuerySettleMs);
    int result = WaitAck(0, kQueryAckTimeoutMs);
    report().AppendLog(kLogVersionHeading);
    if (result != kLinkOk) {
        report().AppendError(kLogNoResponse);
        return result;
    }
    result = ReadVersionReply(kVersionReplyTimeoutMs);
    LogVersionText();
    return result;
}

int CAsciiLink::QueryChecksum() {
    Purge();
    NameCommand("checksum query", kAsciiQueryChecksum);
    WriteString(kAsciiQueryChecksum);
    Pause(kQuerySettleMs);
    const int result = WaitAck(0, kQueryAckTimeoutMs);
    if (result != kLinkOk) {
        return result;
    }
    return ReadChecksumReply(kChecksumReplyTimeoutMs);
}

std::optional<std::uint32_t> CAsciiLink::ChecksumAsReplied(std::uint32_t checksum) const {
    return AsciiChecksumAsRead(checksum);
}

int CAsciiLink::SendPrelude() {
    for (const auto& step : kAsciiPrelude) {
        NameCommand("prelude", step.command);
        WriteString(step.command);
        Pause(step.pause_ms);
    }
    Purge();  // whatever the MCU answered is of no interest
    return 0;
}

int CAsciiLink::QueryInformation() {
    Purge();
    NameCommand("information query", kAsciiQueryInformation);
    WriteString(kAsciiQueryInformation);
    Pause(kQuerySettleMs);
    replies().information_text.fill(0);
    const int result = WaitAck(0, kQueryAckTimeoutMs);
    if (result != kLinkOk) {
        report().AppendError(kLogNoResponse);
        return result;
    }
    report().AppendLog(kLogInformationHeading);
    const bool line_held = CollectInformation();
    LogInformationText();
    return line_held ? kLinkOk : ResultOf(ReplyWaitResult::kReadFailed);
}

}  // namespace velkor
