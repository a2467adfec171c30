// The reply wait's cut-offs, ReadByte and the echo operations, to the millisecond.
#include <gtest/gtest.h>

#include <string>

#include "link/ascii_link.h"
#include "link/ascii_matchers.h"
#include "link/reply_wait.h"
#include "support/link_bench.h"

namespace velkor {
namespace {

using testing::LinkBench;

constexpr std::uint32_t kStart = LinkBench::kStartMs;

// Polls come every 2 ms, so a wait ends at the first poll past its limit.
TEST(ReplyWait, GivesUpAfterTheIdleTimeOrTheIdleTimePlusFiveSeconds) {
    struct Case {
        const char* line;
        std::uint32_t unrelated_every_ms;  // 0: silent
        std::uint32_t ack_at_ms;           // 0: none
        ReplyWaitResult result;
        std::uint32_t ends_at_ms;
    };
    const Case cases[] = {
        {"silent", 0, 0, ReplyWaitResult::kTimedOut, 2002},
        {"one unrelated byte a second", 1000, 0, ReplyWaitResult::kTimedOut, 7002},
        {"acknowledged just before the cut-off", 1000, 6998, ReplyWaitResult::kComplete, 6998},
        {"acknowledged just after the cut-off", 1000, 7004, ReplyWaitResult::kTimedOut, 7002},
        {"acknowledged at the end of the silence", 0, 2000, ReplyWaitResult::kComplete, 2000},
        {"acknowledged after the silence", 0, 2004, ReplyWaitResult::kTimedOut, 2002},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.line);
        LinkBench bench;
        if (test.unrelated_every_ms != 0) {
            for (std::uint32_t at = test.unrelated_every_ms; at <= 20000;
                 at += test.unrelated_every_ms) {
                bench.port.ArriveAt(kStart + at, "x");
            }
        }
        if (test.ack_at_ms != 0) {
            bench.port.ArriveAt(kStart + test.ack_at_ms, "@\r\n");
        }
        AsciiAckMatcher ack(kAsciiAck);
        EXPECT_EQ(WaitForReply(bench.context, 2000, ack), test.result);
        EXPECT_EQ(bench.Elapsed(), test.ends_at_ms);
    }
}

TEST(ReplyWait, CountsTimeAcrossTheTickCounterWrap) {
    LinkBench bench;
    bench.clock.Set(0xFFFFFF00u);
    AsciiAckMatcher ack(kAsciiAck);
    EXPECT_EQ(WaitForReply(bench.context, 2000, ack), ReplyWaitResult::kTimedOut);
    EXPECT_EQ(bench.clock.NowMs() - 0xFFFFFF00u, 2002u);
}

TEST(ReadByte, ReturnsEveryByteValueAndMinusOneOnTimeOutOrFailure) {
    struct Case {
        const char* line;
        std::string bytes;
        std::uint32_t arrives_after_ms;
        bool read_fails;
        int result;
        std::uint32_t ends_at_ms;
    };
    const Case cases[] = {
        {"byte 0xFF", "\xFF", 0, false, 255, 0},
        {"byte 0x00", std::string(1, '\0'), 0, false, 0, 0},
        {"byte late but in time", "A", 10000, false, 'A', 10000},
        {"silent line", "", 0, false, -1, 10002},
        {"read fails", "A", 0, true, -1, 0},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.line);
        LinkBench bench;
        CAsciiLink link(bench.context);
        bench.port.ArriveAfter(test.arrives_after_ms, test.bytes);
        bench.port.faults().read = test.read_fails;
        EXPECT_EQ(link.ReadByte(10000), test.result);
        EXPECT_EQ(bench.Elapsed(), test.ends_at_ms);
    }
}

TEST(Echo, CopiesBytesToTheLogUntilItsLimit) {
    LinkBench bench;
    CMcuLink link(bench.context);
    bench.port.ArriveAt(kStart + 10, "ab");
    bench.port.ArriveAt(kStart + 60, "c");
    bench.port.ArriveAt(kStart + 300, "d");

    link.EchoUntilQuiet(1000, 100);  // quiet from 60 ms on
    EXPECT_EQ(bench.capture.log(), "abc");
    EXPECT_EQ(bench.Elapsed(), 161u);

    link.EchoFor(500);
    EXPECT_EQ(bench.capture.log(), "abcd");
    EXPECT_EQ(bench.Elapsed(), 161u + 501u);
}

// A silent line costs no CPU: once a reply is no longer likely the waits sleep to their
// limits instead of waking every 2 ms poll step (1001 and 5001 times here).
TEST(ReplyWait, ASilentLineWakesTheWaitOnlyWhileAReplyIsLikely) {
    constexpr std::size_t kWakes = kAttentiveQuietMs / 2 + 1;
    LinkBench bench;
    AsciiAckMatcher ack(kAsciiAck);
    EXPECT_EQ(WaitForReply(bench.context, 2000, ack), ReplyWaitResult::kTimedOut);
    EXPECT_EQ(bench.Elapsed(), 2002u);
    EXPECT_LE(bench.port.wait_count(), kWakes);

    const std::size_t before = bench.port.wait_count();
    CAsciiLink link(bench.context);
    EXPECT_EQ(link.ReadByte(10000), -1);
    EXPECT_EQ(bench.Elapsed(), 2002u + 10002u);
    EXPECT_LE(bench.port.wait_count() - before, kWakes);
}

// A link asked to stop ends every wait and pause at once, as a time-out; bytes already there
// are still taken.
TEST(StoppedLink, EndsEveryWaitAndPauseAtOnce) {
    LinkBench bench;
    CAsciiLink link(bench.context);
    bench.context.RequestStop();
    EXPECT_TRUE(bench.context.stopping());
    EXPECT_TRUE(bench.port.waits_cancelled());

    AsciiAckMatcher ack(kAsciiAck);
    EXPECT_EQ(WaitForReply(bench.context, 2000, ack), ReplyWaitResult::kTimedOut);
    EXPECT_EQ(link.ReadByte(10000), -1);
    link.EchoUntilQuiet(1000, 100);
    link.EchoFor(500);
    EXPECT_FALSE(bench.context.Pause(500));
    EXPECT_EQ(link.QueryVersion(), kLinkTimedOut);
    EXPECT_EQ(bench.Elapsed(), 0u);

    bench.port.ArriveAfter(0, "A");
    EXPECT_EQ(link.ReadByte(10000), 'A');
}

}  // namespace
}  // namespace velkor
