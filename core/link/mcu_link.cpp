#include "link/mcu_link.h"

#include <algorithm>

#include "link/link_timing.h"
#include "platform/text.h"
#include "platform/traffic_text.h"
#include "report/report.h"
#include "settings/port_name.h"

namespace velkor {
namespace {

// Poll steps of the byte readers: each ends at the first step past its limit, and an empty
// poll waits for a byte at most until that step (EmptyPollWaitMs).
constexpr std::uint32_t kReadBytePollMs = 2;
constexpr std::uint32_t kCollectPollMs = 1;

// The wait of a collecting loop, whose limits are checked with the figures taken before the
// poll: at most until the step at which the whole time or the silence passes its limit.
std::uint32_t CollectWaitMs(std::uint32_t elapsed, std::uint32_t total_ms, std::uint32_t quiet,
                            std::uint32_t idle_ms) {
    const std::uint32_t until_limit = std::min(WaitUntilPast(elapsed, total_ms, kCollectPollMs),
                                               WaitUntilPast(quiet, idle_ms, kCollectPollMs));
    return EmptyPollWaitMs(quiet, until_limit, kCollectPollMs);
}

// A received byte as one logged character. A zero byte formats to an empty text.
void LogReceivedByte(Report& report, std::uint8_t byte) {
    if (byte != 0) {
        const char character = static_cast<char>(byte);
        report.AppendForeign(std::string_view(&character, 1));
    }
}

}  // namespace

int CMcuLink::Open(std::string_view port_name, std::uint32_t baud_rate) {
    SerialPort& port = context_.port;
    const std::string device = ResolvePortDevice(port_name, context_.settings_file);
    context_.open_error = port.Open(device);
    if (context_.open_error != 0) {
        report().AppendError(
            DescribeOpenFailure(context_.open_error, device, context_.port_source));
        return kOpenNoDevice;
    }
    port.SetQueueSizes(kPortQueueSize, kPortQueueSize);  // advisory only
    Purge();
    if (!port.SetEventMask(kPortEventMask)) {
        Close();
        return kOpenNoEventMask;
    }
    if (!ConfigurePort(baud_rate, kByteSize8, kNoParity, kOneStopBit, kDtrDisabled)) {
        Close();
        return kOpenNoLineSettings;
    }
    // Without the time-outs a write could block without bound: the port is no use then.
    if (!port.SetTimeouts(kPortWriteTimeoutMs)) {
        Close();
        return kOpenNoLineSettings;
    }
    return kOpenOk;
}

int CMcuLink::OpenDefault() {
    return kOpenNoPortDefined;
}

int CMcuLink::Close() {
    context_.port.Close();
    return 0;
}

int CMcuLink::Purge() {
    return context_.port.Purge() ? 1 : 0;
}

int CMcuLink::WaitAck(std::uint8_t /*command*/, std::uint32_t /*timeout_ms*/) {
    return kLinkOk;
}

void CMcuLink::EchoUntilQuiet(std::uint32_t total_ms, std::uint32_t idle_ms) {
    const std::uint32_t start = context_.clock.NowMs();
    std::uint32_t last = start;
    for (;;) {
        const std::uint32_t elapsed = context_.ElapsedSince(start);
        const std::uint32_t quiet = context_.ElapsedSince(last);
        if (context_.PollByte() == ByteRead::kReceived) {
            LogReceivedByte(context_.report, context_.receive_byte);
            last = context_.clock.NowMs();
        }
        if (elapsed > total_ms || quiet > idle_ms) {
            return;
        }
        if (!context_.WaitForByte(CollectWaitMs(context_.ElapsedSince(start), total_ms,
                                                context_.ElapsedSince(last), idle_ms))) {
            return;
        }
    }
}

void CMcuLink::EchoFor(std::uint32_t duration_ms) {
    const std::uint32_t start = context_.clock.NowMs();
    std::uint32_t last = start;
    for (;;) {
        const std::uint32_t elapsed = context_.ElapsedSince(start);
        if (context_.PollByte() == ByteRead::kReceived) {
            LogReceivedByte(context_.report, context_.receive_byte);
            last = context_.clock.NowMs();
        }
        if (elapsed > duration_ms) {
            return;
        }
        const std::uint32_t until_limit =
            WaitUntilPast(context_.ElapsedSince(start), duration_ms, kCollectPollMs);
        if (!context_.WaitForByte(
                EmptyPollWaitMs(context_.ElapsedSince(last), until_limit, kCollectPollMs))) {
            return;
        }
    }
}

int CMcuLink::QueryVersion() {
    return 0;
}
int CMcuLink::SendPrelude() {
    return 0;
}
int CMcuLink::QueryInformation() {
    return 0;
}
int CMcuLink::WriteConfiguration() {
    return 0;
}
int CMcuLink::DecodeOptions() {
    return 0;
}
int CMcuLink::QueryChecksum() {
    return 0;
}
std::optional<std::uint32_t> CMcuLink::ChecksumAsReplied(std::uint32_t checksum) const {
    return checksum;
}
int CMcuLink::CheckFile(const std::uint8_t* /*image*/) {
    return 0;
}
int CMcuLink::Program(const std::uint8_t* /*image*/) {
    return 0;
}

int CMcuLink::ReadByte(std::uint32_t timeout_ms) {
    const std::uint32_t start = context_.clock.NowMs();
    do {
        switch (context_.PollByte()) {
            case ByteRead::kReceived:
                return context_.receive_byte;
            case ByteRead::kFailed:
                return -1;
            case ByteRead::kNone: {
                const std::uint32_t elapsed = context_.ElapsedSince(start);
                if (!context_.WaitForByte(EmptyPollWaitMs(
                        elapsed, WaitUntilPast(elapsed, timeout_ms, kReadBytePollMs),
                        kReadBytePollMs))) {
                    return -1;  // stopped
                }
                break;
            }
        }
    } while (context_.ElapsedSince(start) <= timeout_ms);
    return -1;
}

bool CMcuLink::Write(const std::uint8_t* data, std::size_t count) {
    return context_.port.Write(data, count);
}

bool CMcuLink::WriteString(std::string_view text) {
    for (char ch : text) {
        const auto byte = static_cast<std::uint8_t>(ch);
        if (!context_.port.Write(&byte, 1)) {
            return false;
        }
    }
    return true;
}

void CMcuLink::NameCommand(std::string_view name, std::string_view ascii_command) {
    while (!ascii_command.empty() &&
           (ascii_command.back() == '\r' || ascii_command.back() == '\n')) {
        ascii_command.remove_suffix(1);
    }
    std::string line = "-> ";
    line += name;
    line += ": ";
    line += Latin1ToUtf8(ascii_command);
    line += "\r\n";
    report().AppendDetail(line);
}

void CMcuLink::NameCommand(std::string_view name, std::uint8_t frame_code,
                           std::span<const std::uint8_t> payload) {
    std::string line = "-> ";
    line += name;
    line += ": frame ";
    line += HexText(std::span(&frame_code, 1));
    if (!payload.empty()) {
        line += ' ';
        line += HexText(payload);
    }
    line += "\r\n";
    report().AppendDetail(line);
}

bool CMcuLink::ConfigurePort(std::uint32_t baud_rate, std::uint8_t byte_size, std::uint8_t parity,
                             std::uint8_t stop_bits, std::uint8_t dtr_control) {
    LineSettings settings;
    if (!context_.port.GetLineSettings(settings)) {
        return false;
    }
    settings.baud_rate = baud_rate;
    settings.byte_size = byte_size;
    settings.parity = parity;
    settings.stop_bits = stop_bits;
    settings.dtr_control = dtr_control;
    return context_.port.SetLineSettings(settings);
}

void CMcuLink::LogVersionText() {
    report().AppendForeign(context_.replies.VersionText());
    report().AppendLog("\r\n");
}

bool CMcuLink::CollectInformation() {
    auto& text = context_.replies.information_text;
    std::size_t stored = 0;
    const std::uint32_t start = context_.clock.NowMs();
    std::uint32_t last = start;
    for (;;) {
        const std::uint32_t elapsed = context_.ElapsedSince(start);
        const std::uint32_t quiet = context_.ElapsedSince(last);
        switch (context_.PollByte()) {
            case ByteRead::kFailed:
                return false;  // the device is gone: nothing more will come
            case ByteRead::kReceived:
                if (stored < kInformationTextLimit) {
                    text[stored++] = context_.receive_byte;
                }
                last = context_.clock.NowMs();
                break;
            case ByteRead::kNone:
                break;
        }
        if (elapsed > kInformationTotalMs || quiet > kInformationIdleMs) {
            return true;
        }
        if (!context_.WaitForByte(CollectWaitMs(context_.ElapsedSince(start), kInformationTotalMs,
                                                context_.ElapsedSince(last), kInformationIdleMs))) {
            return true;  // stopped: what came so far is the text
        }
    }
}

void CMcuLink::LogInformationText() {
    // The text's own last line end ends its line in the log too; every other control
    // character, line ends within the text included, is the unit's and shown as such.
    std::string_view text = context_.replies.InformationText();
    std::string_view line_end;
    if (text.ends_with("\r\n")) {
        line_end = "\r\n";
    } else if (text.ends_with('\n')) {
        line_end = "\n";
    }
    text.remove_suffix(line_end.size());
    report().AppendForeign(text);
    if (!line_end.empty()) {
        report().AppendLog(line_end);
    }
}

}  // namespace velkor
