#include "sim/mcu_simulator.h"

#include <algorithm>
#include <string>

#include "sim/ascii_dialect.h"
#include "sim/frame_dialect.h"
#include "sim/unit_option_store.h"

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
    : model_(config.model),
      family_(config.family),
      faults_(std::move(config.faults)),
      reply_delay_ms_(config.reply_delay_ms),
      unit_(std::move(config.version_text), std::move(config.information_text),
            std::move(config.main_flash), config.checksum_range),
      dialect_(MakeMcuDialect(config.model)),
      timeline_(start_ms),
      receive_line_(faults_.pace_baud),
      line_(faults_.pace_baud, faults_.drop_after_bytes) {
    if (const auto format = BootLoaderRecordFormat(model_, family_)) {
        boot_loader_.emplace(*format, std::move(config.record_status), faults_);
    }
}

bool McuSimulator::StartInBootLoader() {
    if (!boot_loader_) {
        return false;
    }
    boot_loader_->Start(unit_.main_flash());
    Log("in the boot loader from the start: main MCU");
    return true;
}

void McuSimulator::PowerOn() {
    dialect_ = MakeMcuDialect(model_);  // a command cut in half is gone with the power
    gone_ = false;
    if (programming()) {
        boot_loader_->Restart();
        Log("power back: still in the boot loader");
    } else {
        Log("power back: the application runs");
    }
}

TimedBytes McuSimulator::Receive(std::span<const std::uint8_t> bytes, std::uint32_t now_ms) {
    const std::uint64_t now_ns = timeline_.Observe(now_ms);
    TimedBytes sent;
    std::vector<LineByte> out;
    for (std::uint8_t byte : bytes) {
        // Bytes count from the moment they are in, so a paced line delays every answer.
        const std::uint64_t in_ns = receive_line_.Arrive(now_ns);
        // A line hung up by the boot loader takes nothing more at once; the host notices
        // only once its reads fail.
        if (const auto drop = DropNs(); boot_loader_drop_ns_ || (drop && in_ns >= *drop)) {
            break;
        }
        if (programming()) {
            if (auto outcome = boot_loader_->Feed(byte)) {
                Conclude(*outcome, in_ns, out);
            }
        } else if (auto command = dialect_->Feed(byte)) {
            ++commands_handled_;
            if (gone_) {
                Log("fault: no return after the update, command not answered");
                continue;
            }
            Handle(*command, in_ns, out);
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
    const auto earliest = [&drop](std::uint64_t at) { drop = drop ? std::min(*drop, at) : at; };
    if (faults_.drop_at_ms) {
        earliest(std::uint64_t{*faults_.drop_at_ms} * kNsPerMs);
    }
    if (boot_loader_drop_ns_) {
        earliest(*boot_loader_drop_ns_);
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
        case SimCommandKind::kEnterMainProgramming:
        case SimCommandKind::kEnterMainProgrammingV4:
        case SimCommandKind::kEnterSlaveProgramming:
            EnterProgramming(command, now_ns, out);
            break;
        case SimCommandKind::kConfigure:
            Configure(command, now_ns, out);
            break;
        case SimCommandKind::kPrelude:
        case SimCommandKind::kUnknown:
        case SimCommandKind::kCorrupted:
            break;
    }
}

void McuSimulator::EnterProgramming(const SimCommand& command, std::uint64_t now_ns,
                                    std::vector<LineByte>& out) {
    if (!boot_loader_) {
        Log("no MCU family given: the entry command is ignored");
        return;
    }
    if (!TakesEntryCommand(command.kind, model_, family_, unit_.version_text())) {
        Log("not the entry command of this unit: ignored");
        return;
    }
    if (FaultHits(kScopeProgramming) && faults_.silent) {
        Log("fault: silent, the boot loader does not start");
        return;
    }
    const bool slave = command.kind == SimCommandKind::kEnterSlaveProgramming;
    boot_loader_->Start(slave ? unit_.slave_flash() : unit_.main_flash());
    Log(slave ? "boot loader started: slave MCU" : "boot loader started: main MCU");
    Answer(command, {}, kScopeProgramming, now_ns, out);
    if (faults_.drop_after_records == 0u) {
        Log("fault: line dropped before the first record");
        DropLineAfter(now_ns, out);
    }
}

void McuSimulator::Configure(const SimCommand& command, std::uint64_t now_ns,
                             std::vector<LineByte>& out) {
    // The ASCII dialect recognises the command only with its three letters in place.
    const auto values =
        model_ == kAppTypeJ5
            ? ReadOptionFrame(family_, FramePayload(command))
            : ReadOptionLetters(std::span(command.received).subspan(kAsciiOptionLettersAt, 3));
    if (!values) {
        Log("not an option command of this unit: ignored");
        return;
    }
    if (FaultHits(kScopeConfiguration) && faults_.silent) {
        Log("fault: silent, the options stay as they were");
        return;
    }
    std::string text = unit_.version_text();
    StoreOptions(model_, family_, *values, text);
    unit_.set_version_text(text);
    Log("unit options stored, version text now \"" + text + "\"");
    Answer(command, {}, kScopeConfiguration, now_ns, out);
}

void McuSimulator::Conclude(const BootLoader::Outcome& outcome, std::uint64_t now_ns,
                            std::vector<LineByte>& out) {
    if (!outcome.note.empty()) {
        Log(outcome.note);
    }
    const std::uint64_t start_ns = now_ns + std::uint64_t{reply_delay_ms_} * kNsPerMs;
    line_.Send(outcome.answer, start_ns, 0, out);
    if (outcome.drop_line) {
        DropLineAfter(now_ns, out);
    }
    if (!programming()) {
        Log("programming mode left; MCU checksum " + Hex32(unit_.Checksum()));
        if (faults_.no_return) {
            gone_ = true;
            Log("fault: the unit does not come back from its reset");
        }
    }
}

bool McuSimulator::FaultHits(unsigned scope) {
    if (!faults_.Hits(scope)) {
        return false;
    }
    if (last_faulted_command_ != commands_handled_) {
        last_faulted_command_ = commands_handled_;
        ++faulted_commands_;
    }
    return !faults_.fault_times || faulted_commands_ <= *faults_.fault_times;
}

void McuSimulator::DropLineAfter(std::uint64_t now_ns, const std::vector<LineByte>& out) {
    const std::uint64_t last = out.empty() ? now_ns : std::max(now_ns, out.back().arrival_ns);
    boot_loader_drop_ns_ = last + TransmitLine::kDropDelayMs * kNsPerMs;
}

void McuSimulator::Answer(const SimCommand& command, Bytes reply, unsigned scope,
                          std::uint64_t now_ns, std::vector<LineByte>& out) {
    const bool hit = FaultHits(scope);
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
