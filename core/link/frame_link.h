// The framed command dialect of J5 units: binary frames with a check byte, at 38400 baud.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "link/frame_commands.h"
#include "link/mcu_link.h"
#include "link/reply_wait.h"

namespace velkor {

class CFrameLink : public CMcuLink {
  public:
    explicit CFrameLink(LinkContext& context);

    int OpenDefault() override;
    // Waits for FF 55 `command` 01. 0 acknowledged, 1 time-out or read failure.
    int WaitAck(std::uint8_t command, std::uint32_t timeout_ms) override;
    int QueryVersion() override;
    int SendPrelude() override;
    int QueryInformation() override;
    int QueryChecksum() override;

    // Builds the frame of `command` with `length` payload bytes (mode AA when an
    // acknowledgement wait follows, else BB) and writes it in one piece. False when the write
    // failed, or when the payload does not fit a frame (nothing is sent then).
    bool SendFrame(std::uint8_t command, const std::uint8_t* payload, std::size_t length,
                   bool ack_wanted);
    bool SendFrame(const FrameCommand& command, bool ack_wanted);

  protected:
    int ReadVersionReply(std::uint32_t timeout_ms);
    int ReadChecksumReply(std::uint32_t timeout_ms);

    // The dialect's result for the outcome of a reply wait: a failed read counts as a
    // time-out.
    static int ResultOf(ReplyWaitResult outcome);

  private:
    static constexpr std::size_t kFrameBufferSize = 300;

    std::array<std::uint8_t, kFrameBufferSize> frame_buffer_{};
};

}  // namespace velkor
