#include "link/frame_link.h"

#include "link/frame_matchers.h"
#include "link/link_messages.h"
#include "link/link_timing.h"
#include "report/report.h"

namespace velkor {

CFrameLink::CFrameLink(LinkContext& context)
    : CMcuLink(context, kDefaultPortName, kFrameBaudRate) {}

int CFrameLink::OpenDefault() {
    return Open(port_name(), baud_rate());
}

int CFrameLink::ResultOf(ReplyWaitResult outcome) {
    return outcome == ReplyWaitResult::kComplete ? kLinkOk : kLinkTimedOut;
}

bool CFrameLink::SendFrame(std::uint8_t command, const std::uint8_t* payload, std::size_t length,
                           bool ack_wanted) {
    static_assert(kFrameOverhead + kFrameMaxPayload <= kFrameBufferSize);
    if (length > kFrameMaxPayload) {
        return false;  // the length byte could not say so: the MCU would misread the frame
    }
    const auto length_byte = static_cast<std::uint8_t>(length);
    frame_buffer_[0] = kFrameStart;
    frame_buffer_[1] = ack_wanted ? kFrameModeAcked : kFrameModeUnacked;
    frame_buffer_[2] = command;
    frame_buffer_[3] = length_byte;
    std::uint8_t check = command ^ length_byte;
    for (std::size_t i = 0; i < length; ++i) {
        frame_buffer_[4 + i] = payload[i];
        check ^= payload[i];
    }
    frame_buffer_[4 + length] = check;
    return Write(frame_buffer_.data(), length + kFrameOverhead);
}

bool CFrameLink::SendFrame(const FrameCommand& command, bool ack_wanted) {
    return SendFrame(command.code, command.payload.data(), command.payload.size(), ack_wanted);
}

int CFrameLink::WaitAck(std::uint8_t command, std::uint32_t timeout_ms) {
    FrameAckMatcher matcher(command);
    return ResultOf(WaitForReply(context(), timeout_ms, matcher));
}

int CFrameLink::ReadVersionReply(std::uint32_t timeout_ms) {
    FrameVersionMatcher matcher(replies());
    return ResultOf(WaitForReply(context(), timeout_ms, matcher));
}

int CFrameLink::ReadChecksumReply(std::uint32_t timeout_ms) {
    FrameChecksumMatcher matcher(replies());
    return ResultOf(WaitForReply(context(), timeout_ms, matcher));
}

int CFrameLink::QueryVersion() {
    Purge();
    NameCommand("version query", kFrameQueryVersion.code, kFrameQueryVersion.payload);
    SendFrame(kFrameQueryVersion, true);
    Pause(kQuerySettleMs);
    int result = WaitAck(kFrameQueryVersion.code, kQueryAckTimeoutMs);
    report().AppendLog(kLogVersionHeading);
    if (result != kLinkOk) {
        report().AppendError(kLogNoResponse);
        return result;
    }
    result = ReadVersionReply(kVersionReplyTimeoutMs);
    LogVersionText();
    return result;
}

int CFrameLink::QueryChecksum() {
    Purge();
    NameCommand("checksum query", kFrameQueryChecksum.code, kFrameQueryChecksum.payload);
    SendFrame(kFrameQueryChecksum, true);
    Pause(kQuerySettleMs);
    const int result = WaitAck(kFrameQueryChecksum.code, kQueryAckTimeoutMs);
    if (result != kLinkOk) {
        return result;
    }
    return ReadChecksumReply(kChecksumReplyTimeoutMs);
}

int CFrameLink::SendPrelude() {
    for (const auto& step : kFramePrelude) {
        NameCommand("prelude", step.command.code, step.command.payload);
        SendFrame(step.command, false);
        Pause(step.pause_ms);
    }
    Purge();  // whatever the MCU answered is of no interest
    return 0;
}

int CFrameLink::QueryInformation() {
    Purge();
    NameCommand("information query", kFrameQueryInformation.code, kFrameQueryInformation.payload);
    SendFrame(kFrameQueryInformation, true);
    Pause(kQuerySettleMs);
    replies().information_text.fill(0);
    const int result = WaitAck(kFrameQueryInformation.code, kQueryAckTimeoutMs);
    if (result != kLinkOk) {
        report().AppendError(kLogNoResponse);
        return result;
    }
    report().AppendLog(kLogInformationHeading);
    // Stored raw, frame bytes included: offsets into the text count from the first byte
    // after the acknowledgement.
    const bool line_held = CollectInformation();
    LogInformationText();
    return line_held ? kLinkOk : ResultOf(ReplyWaitResult::kReadFailed);
}

}  // namespace velkor
