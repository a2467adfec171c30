// The framed dialect of J5 units, MCU side. Commands: FF, mode (AA acknowledged, BB not),
// code, length n, n payload bytes, check byte (code XOR n XOR payload). Replies: the
// acknowledgement FF 55 code 01, and reply frames FF AA reply-code n payload check.
#pragma once

#include <span>

#include "sim/mcu_dialect.h"

namespace velkor::sim {

// The payload of a command frame the dialect recognised.
std::span<const std::uint8_t> FramePayload(const SimCommand& command);

class FrameDialect final : public McuDialect {
  public:
    // A frame whose check byte is wrong comes out as kCorrupted, and is not answered.
    std::optional<SimCommand> Feed(std::uint8_t byte) override;

    Bytes Acknowledgement(const SimCommand& command) const override;
    // The payload holds at most 255 characters of `text`, all the length byte can say.
    Bytes VersionReply(std::string_view text) const override;
    Bytes ChecksumReply(std::uint32_t checksum) const override;

  private:
    enum class State { kStart, kMode, kCode, kLength, kPayload, kCheck };

    SimCommand Finish(std::uint8_t check);

    State state_ = State::kStart;
    std::uint8_t mode_ = 0;
    std::uint8_t code_ = 0;
    std::size_t length_ = 0;
    Bytes payload_;
};

}  // namespace velkor::sim
