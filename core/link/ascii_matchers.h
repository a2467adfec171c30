// Reply matchers of the ASCII dialect.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "link/ascii_commands.h"
#include "link/mcu_replies.h"
#include "link/reply_wait.h"
#include "link/sequence_matcher.h"

namespace velkor {

using AsciiAckMatcher = SequenceMatcher<kAsciiAck.size()>;

// '$' 'V' characters CR x, filling the version text. A reply without characters does not
// count, and characters beyond the text's size are dropped.
class AsciiVersionMatcher final : public ReplyMatcher {
  public:
    explicit AsciiVersionMatcher(McuReplies& replies) : replies_(replies) {}
    bool Feed(std::uint8_t byte) override;

  private:
    enum class State { kStart, kTag, kText, kLineEnd };

    McuReplies& replies_;
    State state_ = State::kStart;
    std::size_t count_ = 0;
};

// 'C' 'S' ':' value bytes CR x, most significant first; only the last four value bytes
// survive, and a value byte equal to CR ends the value early.
class AsciiChecksumMatcher final : public ReplyMatcher {
  public:
    explicit AsciiChecksumMatcher(McuReplies& replies) : replies_(replies) {}
    bool Feed(std::uint8_t byte) override;

  private:
    enum class State { kTag, kValue, kLineEnd };
    // Value bytes beyond this many are dropped.
    static constexpr std::size_t kMaxValueBytes = 50;

    McuReplies& replies_;
    State state_ = State::kTag;
    std::size_t tag_matched_ = 0;
    std::size_t count_ = 0;
};

// What AsciiChecksumMatcher reads from the reply of an MCU whose checksum is `checksum` (sent
// as four bytes, most significant first): the bytes before the first one equal to CR; none
// when that is the first, because the reply then never completes.
std::optional<std::uint32_t> AsciiChecksumAsRead(std::uint32_t checksum);

}  // namespace velkor
