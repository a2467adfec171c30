#include "sim/ascii_dialect.h"

#include <algorithm>
#include <string_view>

#include "link/ascii_commands.h"

namespace velkor::sim {
namespace {

bool LineIs(const Bytes& line, std::string_view command) {
    return std::equal(
        line.begin(), line.end(), command.begin(), command.end(),
        [](std::uint8_t byte, char ch) { return byte == static_cast<std::uint8_t>(ch); });
}

// '$' 'W', three option letters, CR LF.
bool IsOptionCommand(const Bytes& line) {
    return line.size() == kAsciiOptionCommandLength && line[1] == kAsciiOptionCommandTag;
}

// Grows `bytes` by its own size and then writes into it, so that no range insert into a
// vector that may reallocate is left to the optimiser's bounds guesses.
void Append(Bytes& bytes, std::string_view text) {
    const std::size_t at = bytes.size();
    bytes.resize(at + text.size());
    std::copy(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

}  // namespace

std::optional<SimCommand> AsciiDialect::Feed(std::uint8_t byte) {
    if (byte == kAsciiReplyStart) {
        line_.assign(1, byte);
        in_line_ = true;
        return std::nullopt;
    }
    if (!in_line_) {
        return std::nullopt;  // noise between commands
    }
    line_.push_back(byte);
    if (byte == '\n') {
        in_line_ = false;
        if (line_[line_.size() - 2] != '\r') {
            return std::nullopt;  // a bare LF ends no command of this dialect
        }
        return Classify(std::move(line_));
    }
    if (line_.size() >= kMaxLineLength) {
        in_line_ = false;
        return SimCommand{SimCommandKind::kCorrupted, 0, false, std::move(line_)};
    }
    return std::nullopt;
}

SimCommand AsciiDialect::Classify(Bytes line) {
    SimCommand command{SimCommandKind::kUnknown, 0, false, std::move(line)};
    const Bytes& text = command.received;
    if (LineIs(text, kAsciiQueryVersion)) {
        command.kind = SimCommandKind::kQueryVersion;
    } else if (LineIs(text, kAsciiQueryChecksum)) {
        command.kind = SimCommandKind::kQueryChecksum;
    } else if (LineIs(text, kAsciiQueryInformation)) {
        command.kind = SimCommandKind::kQueryInformation;
    } else if (LineIs(text, kAsciiEnterMainProgramming)) {
        command.kind = SimCommandKind::kEnterMainProgramming;
    } else if (LineIs(text, kAsciiEnterMainProgrammingV4)) {
        command.kind = SimCommandKind::kEnterMainProgrammingV4;
    } else if (LineIs(text, kAsciiEnterSlaveProgramming)) {
        command.kind = SimCommandKind::kEnterSlaveProgramming;
    } else if (IsOptionCommand(text)) {
        command.kind = SimCommandKind::kConfigure;
    } else if (std::any_of(std::begin(kAsciiPrelude), std::end(kAsciiPrelude),
                           [&](const auto& step) { return LineIs(text, step.command); })) {
        command.kind = SimCommandKind::kPrelude;
    }
    command.wants_ack =
        command.kind != SimCommandKind::kPrelude && command.kind != SimCommandKind::kUnknown;
    return command;
}

Bytes AsciiDialect::Acknowledgement(const SimCommand& command) const {
    if (!command.wants_ack) {
        return {};
    }
    return Bytes(kAsciiAck.begin(), kAsciiAck.end());
}

Bytes AsciiDialect::VersionReply(std::string_view text) const {
    Bytes reply = {kAsciiReplyStart, kAsciiVersionTag};
    Append(reply, text);
    Append(reply, "\r\n");
    return reply;
}

Bytes AsciiDialect::ChecksumReply(std::uint32_t checksum) const {
    Bytes reply(std::begin(kAsciiChecksumTag), std::end(kAsciiChecksumTag));
    for (int shift = 24; shift >= 0; shift -= 8) {
        reply.push_back(static_cast<std::uint8_t>(checksum >> shift));
    }
    Append(reply, "\r\n");
    return reply;
}

}  // namespace velkor::sim
