#include "link/reply_wait.h"

#include <algorithm>

namespace velkor {
namespace {

// The poll step of the wait: the wait ends at the first step past one of its limits.
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
            case ByteRead::kNone: {
                // At most until the step at which the silence or the whole wait passes its
                // limit, whichever is first.
                const std::uint32_t quiet = link.ElapsedSince(last);
                const std::uint32_t until_limit =
                    std::min(WaitUntilPast(quiet, idle_timeout_ms, kReplyPollMs),
                             WaitUntilPast(link.ElapsedSince(start), total_ms, kReplyPollMs));
                if (!link.WaitForByte(EmptyPollWaitMs(quiet, until_limit, kReplyPollMs))) {
                    return ReplyWaitResult::kTimedOut;  // stopped
                }
                break;
            }
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
