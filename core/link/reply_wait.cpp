#include "link/reply_wait.h"

namespace velkor {
namespace {

// Wait after an empty poll; it ends early when a byte arrives.
constexpr std::uint32_t kReplyPollMs = 2;

}  // namespace

ReplyWaitResult WaitForReply(LinkContext& link, std::uint32_t idle_timeout_ms,
                             ReplyMatcher& matcher) {
    const std::uint32_t total_ms = idle_timeout_ms + kReplyGraceMs;
    const std::uint32_t start = link.clock.NowMs();
    std::uint32_t last = start;
    for (;;) {
        if (link.ElapsedSince(last) > idle_timeout_ms) {
            return ReplyWaitResult::kTimedOut;
        }
        switch (link.PollByte()) {
            case ByteRead::kFailed:
                return ReplyWaitResult::kReadFailed;
            case ByteRead::kNone:
                link.port.WaitReadable(kReplyPollMs);
                break;
            case ByteRead::kReceived:
                last = link.clock.NowMs();
                if (matcher.Feed(link.receive_byte)) {
                    return ReplyWaitResult::kComplete;
                }
                break;
        }
        if (link.ElapsedSince(start) > total_ms) {
            return ReplyWaitResult::kTimedOut;
        }
    }
}

}  // namespace velkor
