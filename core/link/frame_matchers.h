// Reply matchers of the framed dialect.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "link/frame_commands.h"
#include "link/mcu_replies.h"
#include "link/reply_wait.h"
#include "link/sequence_matcher.h"

namespace velkor {

// FF 55 code 01: the acknowledgement of `command`.
class FrameAckMatcher final : public ReplyMatcher {
  public:
    explicit FrameAckMatcher(std::uint8_t command)
        : sequence_({kFrameStart, kFrameAckMarker, command, kFrameAckEnd}) {}
    bool Feed(std::uint8_t byte) override { return sequence_.Feed(byte); }

  private:
    SequenceMatcher<4> sequence_;
};

// Walks a reply frame with the given reply code: FF, AA or BB, code, n, n payload bytes, check
// byte. The check byte is read but not verified. A frame without payload does not count.
class FrameReplyMatcher : public ReplyMatcher {
  public:
    bool Feed(std::uint8_t byte) final;

  protected:
    explicit FrameReplyMatcher(std::uint8_t reply_code) : reply_code_(reply_code) {}
    // At the reply code, before the first payload byte.
    virtual void BeginReply() = 0;
    virtual void TakePayloadByte(std::size_t index, std::uint8_t byte) = 0;

  private:
    enum class State { kStart, kMode, kCode, kLength, kPayload, kCheck };

    std::uint8_t reply_code_;
    State state_ = State::kStart;
    std::size_t remaining_ = 0;
    std::size_t received_ = 0;
};

// Version reply (A8): the payload is the version text; bytes beyond its size are dropped.
class FrameVersionMatcher final : public FrameReplyMatcher {
  public:
    explicit FrameVersionMatcher(McuReplies& replies)
        : FrameReplyMatcher(kFrameVersionReply), replies_(replies) {}

  private:
    void BeginReply() override;
    void TakePayloadByte(std::size_t index, std::uint8_t byte) override;

    McuReplies& replies_;
};

// Checksum reply (96): the first four payload bytes, most significant first.
class FrameChecksumMatcher final : public FrameReplyMatcher {
  public:
    explicit FrameChecksumMatcher(McuReplies& replies)
        : FrameReplyMatcher(kFrameChecksumReply), replies_(replies) {}

  private:
    static constexpr std::size_t kValueBytes = 4;

    void BeginReply() override;
    void TakePayloadByte(std::size_t index, std::uint8_t byte) override;

    McuReplies& replies_;
};

}  // namespace velkor
