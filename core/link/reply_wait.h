// The timing rule shared by every acknowledgement wait and reply reader of both dialects.
#pragma once

#include <cstdint>

#include "link/link_context.h"

namespace velkor {

// Recognises one reply in the byte stream, one byte at a time.
class ReplyMatcher {
  public:
    virtual ~ReplyMatcher() = default;
    // Returns true when `byte` completes the reply.
    virtual bool Feed(std::uint8_t byte) = 0;
};

enum class ReplyWaitResult { kComplete, kTimedOut, kReadFailed };

// Added to the idle time-out to give the longest a reply may take in all, so that a line that
// keeps trickling unrelated bytes cannot hold the wait open.
inline constexpr std::uint32_t kReplyGraceMs = 5000;

// Feeds received bytes to `matcher` until it completes, until `idle_timeout_ms` pass without
// a byte, until idle_timeout_ms + kReplyGraceMs pass in all, or until a read fails. The limits
// are checked on a 2 ms grid of polls; once the line has been quiet a while the wait sleeps
// until a byte comes or the next limit passes (EmptyPollWaitMs), so a silent line costs no
// CPU. A link that is stopping ends the wait as timed out.
ReplyWaitResult WaitForReply(LinkContext& link, std::uint32_t idle_timeout_ms,
                             ReplyMatcher& matcher);

}  // namespace velkor
