#include "sim/frame_dialect.h"

#include <algorithm>
#include <span>

#include "link/frame_commands.h"

namespace velkor::sim {
namespace {

bool Matches(const FrameCommand& known, std::uint8_t code, const Bytes& payload) {
    return known.code == code &&
           std::equal(known.payload.begin(), known.payload.end(), payload.begin(), payload.end());
}

SimCommandKind KindOf(std::uint8_t code, const Bytes& payload) {
    if (Matches(kFrameQueryVersion, code, payload)) {
        return SimCommandKind::kQueryVersion;
    }
    if (Matches(kFrameQueryChecksum, code, payload)) {
        return SimCommandKind::kQueryChecksum;
    }
    if (Matches(kFrameQueryInformation, code, payload)) {
        return SimCommandKind::kQueryInformation;
    }
    if (Matches(kFrameEnterMainProgramming, code, payload)) {
        return SimCommandKind::kEnterMainProgramming;
    }
    if (Matches(kFrameEnterSlaveProgramming, code, payload)) {
        return SimCommandKind::kEnterSlaveProgramming;
    }
    if (code == kFrameConfigurationCode) {
        return SimCommandKind::kConfigure;
    }
    if (std::any_of(std::begin(kFramePrelude), std::end(kFramePrelude),
                    [&](const auto& step) { return Matches(step.command, code, payload); })) {
        return SimCommandKind::kPrelude;
    }
    return SimCommandKind::kUnknown;
}

Bytes ReplyFrame(std::uint8_t reply_code, std::span<const std::uint8_t> payload) {
    const auto length = static_cast<std::uint8_t>(payload.size());
    Bytes frame = {kFrameStart, kFrameModeAcked, reply_code, length};
    std::uint8_t check = reply_code ^ length;
    for (std::uint8_t byte : payload) {
        frame.push_back(byte);
        check ^= byte;
    }
    frame.push_back(check);
    return frame;
}

}  // namespace

std::span<const std::uint8_t> FramePayload(const SimCommand& command) {
    // FF, mode, code, length, payload, check
    constexpr std::size_t kPayloadAt = 4;
    const Bytes& frame = command.received;
    if (frame.size() < kFrameOverhead) {
        return {};
    }
    return std::span(frame).subspan(kPayloadAt, frame.size() - kFrameOverhead);
}

std::optional<SimCommand> FrameDialect::Feed(std::uint8_t byte) {
    switch (state_) {
        case State::kStart:
            if (byte == kFrameStart) {
                state_ = State::kMode;
            }
            return std::nullopt;
        case State::kMode:
            if (byte == kFrameModeAcked || byte == kFrameModeUnacked) {
                mode_ = byte;
                state_ = State::kCode;
            } else if (byte != kFrameStart) {
                state_ = State::kStart;  // FF FF AA still starts a frame at the second FF
            }
            return std::nullopt;
        case State::kCode:
            code_ = byte;
            state_ = State::kLength;
            return std::nullopt;
        case State::kLength:
            length_ = byte;
            payload_.clear();
            state_ = length_ == 0 ? State::kCheck : State::kPayload;
            return std::nullopt;
        case State::kPayload:
            payload_.push_back(byte);
            if (payload_.size() == length_) {
                state_ = State::kCheck;
            }
            return std::nullopt;
        case State::kCheck:
            state_ = State::kStart;
            return Finish(byte);
    }
    return std::nullopt;
}

SimCommand FrameDialect::Finish(std::uint8_t check) {
    std::uint8_t expected = code_ ^ static_cast<std::uint8_t>(length_);
    for (std::uint8_t byte : payload_) {
        expected ^= byte;
    }
    SimCommand command;
    command.code = code_;
    command.wants_ack = mode_ == kFrameModeAcked;
    Bytes& received = command.received;
    received.reserve(payload_.size() + kFrameOverhead);
    for (std::uint8_t byte : {kFrameStart, mode_, code_, static_cast<std::uint8_t>(length_)}) {
        received.push_back(byte);
    }
    received.insert(received.end(), payload_.begin(), payload_.end());
    received.push_back(check);
    command.kind = check == expected ? KindOf(code_, payload_) : SimCommandKind::kCorrupted;
    return command;
}

Bytes FrameDialect::Acknowledgement(const SimCommand& command) const {
    if (!command.wants_ack) {
        return {};
    }
    return {kFrameStart, kFrameAckMarker, command.code, kFrameAckEnd};
}

Bytes FrameDialect::VersionReply(std::string_view text) const {
    const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
    return ReplyFrame(kFrameVersionReply,
                      std::span<const std::uint8_t>(data, std::min(text.size(), kFrameMaxPayload)));
}

Bytes FrameDialect::ChecksumReply(std::uint32_t checksum) const {
    const std::uint8_t value[] = {
        static_cast<std::uint8_t>(checksum >> 24), static_cast<std::uint8_t>(checksum >> 16),
        static_cast<std::uint8_t>(checksum >> 8), static_cast<std::uint8_t>(checksum)};
    return ReplyFrame(kFrameChecksumReply, value);
}

}  // namespace velkor::sim
