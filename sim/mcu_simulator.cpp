#include "sim/mcu_simulator.h"

#include <algorithm>
#include <string>

namespace velkor::sim {
namespace {

std::string Hex32(std::uint32_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text(8, '0');
    for (int i = 7; i >= 0; --i, value >>= 4) {
        text[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
    }
    return text;
}

Bytes BytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

}  // namespace

McuSimulator::McuSimulator(SimConfig config, std::uint32_t start_ms)
    : faults_(std::move(config.faults)),
      reply_delay_ms_(config.reply_delay_ms),
      unit_(std::move(config.version_text), std::move(config.information_text),
            std::move(config.main_flash), config.checksum_range),
      dialect_(MakeMcuDialect(config.model)),
      timeline_(start_ms),
      line_(faults_.pace_baud, faults_.drop_after_bytes) {}

TimedBytes McuSimulator::Receive(std::span<const std::uint8_t> bytes, std::uint32_t now_ms) {
    const std::uint64_t now_ns = timeline_.Observe(now_ms);
    TimedBytes sent;
    if (const auto drop = DropNs(); drop && now_ns >= *drop) {
        return sent;
    }
    std::vector<LineByte> out;
    for (std::uint8_t byte : bytes) {
        if (auto command = dialect_->Feed(byte)) {
            Handle(*command, now_ns, out);
        }
    }
    sent.reserve(out.size());
    for (const auto& line_byte : out) {
        sent.push_back({timeline_.TickAt(line_byte.arrival_ns), line_byte.byte});
    }
    return sent;
}

std::optional<std::uint64_t> McuSimulator::DropNs() const {
    std::optional<std::uint64_t> drop = line_.DropNs();
    if (faults_.drop_at_ms) {
        const std::uint64_t at = *faults_.drop_at_ms * kNsPerMs;
        drop = drop ? std::min(*drop, at) : at;
    }
    return drop;
}

std::optional<std::uint32_t> McuSimulator::DropTimeMs() const {
    if (const auto drop = DropNs()) {
        return timeline_.TickAt(*drop);
    }
    return std::nullopt;
}

void McuSimulator::Handle(const SimCommand& command, std::uint64_t now_ns,
                          std::vector<LineByte>& out) {
    Log(DescribeCommand(command.kind));
    switch (command.kind) {
        case SimCommandKind::kQueryVersion:
            Answer(command, dialect_->VersionReply(unit_.version_text()), kScopeVersion, now_ns,
                   out);
            break;
        case SimCommandKind::kQueryChecksum: {
            const std::uint32_t checksum = unit_.Checksum();
            Log("checksum " + Hex32(checksum));
            Answer(command, dialect_->ChecksumReply(checksum), kScopeChecksum, now_ns, out);
            break;
        }
        case SimCommandKind::kQueryInformation:
            Answer(command, BytesOf(unit_.information_text()), kScopeInformation, now_ns, out);
            break;
        case SimCommandKind::kPrelude:
        case SimCommandKind::kUnknown:
        case SimCommandKind::kCorrupted:
            break;
    }
}

void McuSimulator::Answer(const SimCommand& command, Bytes reply, unsigned scope,
                          std::uint64_t now_ns, std::vector<LineByte>& out) {
    const bool hit = faults_.Hits(scope);
    if (hit && faults_.silent) {
        Log("fault: silent");
        return;
    }
    const std::uint64_t start_ns = now_ns + std::uint64_t{reply_delay_ms_} * kNsPerMs;
    Bytes head;
    if (hit && !faults_.noise.empty()) {
        Log("fault: noise before the reply");
        head = BytesOf(faults_.noise);
    }
    if (hit && faults_.no_ack) {
        Log("fault: no acknowledgement");
    } else {
        const Bytes ack = dialect_->Acknowledgement(command);
        head.insert(head.end(), ack.begin(), ack.end());
    }
    line_.Send(head, start_ns, 0, out);

    if (hit && faults_.cut_reply_after && *faults_.cut_reply_after < reply.size()) {
        Log("fault: reply cut short");
        reply.resize(*faults_.cut_reply_after);
    }
    std::uint64_t gap_ns = 0;
    if (hit && faults_.trickle_ms) {
        Log("fault: reply trickles");
        gap_ns = std::uint64_t{*faults_.trickle_ms} * kNsPerMs;
    }
    line_.Send(reply, start_ns, gap_ns, out);
    if (line_.DropNs() && !drop_reported_) {
        drop_reported_ = true;
        Log("fault: line dropped after " + std::to_string(line_.bytes_sent()) + " bytes");
    }
}

void McuSimulator::Log(std::string_view text) const {
    if (event_log_) {
        event_log_(text);
    }
}

}  // namespace velkor::sim
