// Version, checksum and information queries of both dialects against a scripted MCU.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "link/ascii_link.h"
#include "link/frame_link.h"
#include "support/link_bench.h"

namespace velkor {
namespace {

using testing::Bytes;
using testing::LinkBench;

const std::string kAsciiAck = "@\r\n";

std::string FrameAck(int command) {
    return Bytes({0xFF, 0x55, command, 0x01});
}

std::string FrameReply(int code, const std::string& payload) {
    return Bytes({0xFF, 0xAA, code, static_cast<int>(payload.size())}) + payload + "\x77";
}

// The commands and replies of one dialect, so that each behaviour is checked in both.
struct Dialect {
    const char* name;
    bool framed;
    std::string version_command;
    std::string information_command;
    std::string checksum_command;
    std::string ack_version;
    std::string ack_query;  // information and checksum
    std::string (*version_reply)(const std::string& text);
    int read_failure;
};

const Dialect kDialects[] = {
    {"ascii", false, "$R\r\n", "$e\r\n", "$eCS\r\n", kAsciiAck, kAsciiAck,
     [](const std::string& text) { return "$V" + text + "\r\n"; }, 2},
    {"framed", true, Bytes({0xFF, 0xAA, 0x50, 0x01, 0x5C, 0x0D}),
     Bytes({0xFF, 0xAA, 0x7B, 0x03, 0x01, 0x00, 0x00, 0x79}),
     Bytes({0xFF, 0xAA, 0x7B, 0x02, 0x43, 0x53, 0x69}), FrameAck(0x50), FrameAck(0x7B),
     [](const std::string& text) { return FrameReply(0xA8, text); }, 1},
};

std::unique_ptr<CMcuLink> MakeLink(const Dialect& dialect, LinkContext& context) {
    if (dialect.framed) {
        return std::make_unique<CFrameLink>(context);
    }
    return std::make_unique<CAsciiLink>(context);
}

const std::string kVersionHeading = "======== MCU Version ========\r\n";
const std::string kNoResponse = "MCU no respone\r\n";

TEST(QueryVersion, StoresAndLogsTheReply) {
    for (const auto& dialect : kDialects) {
        SCOPED_TRACE(dialect.name);
        LinkBench bench;
        auto link = MakeLink(dialect, bench.context);
        bench.Answer(dialect.version_command,
                     "noise" + dialect.ack_version + dialect.version_reply("R3360_V4.2"));
        EXPECT_EQ(link->QueryVersion(), 0);
        EXPECT_EQ(bench.context.replies.VersionText(), "R3360_V4.2");
        EXPECT_EQ(bench.capture.log(), kVersionHeading + "R3360_V4.2\r\n");
    }
}

TEST(QueryVersion, KeepsTheFirstFiftyOfSixtyCharacters) {
    const std::string sixty = std::string(50, 'a') + "0123456789";
    for (const auto& dialect : kDialects) {
        SCOPED_TRACE(dialect.name);
        LinkBench bench;
        auto link = MakeLink(dialect, bench.context);
        bench.Answer(dialect.version_command, dialect.ack_version + dialect.version_reply(sixty));
        EXPECT_EQ(link->QueryVersion(), 0);
        EXPECT_EQ(bench.context.replies.VersionText(), std::string(50, 'a'));
        EXPECT_EQ(bench.capture.log(), kVersionHeading + std::string(50, 'a') + "\r\n");
    }
}

TEST(QueryVersion, AnEmptyReplyDoesNotCountAndTheReaderWaitsOn) {
    for (const auto& dialect : kDialects) {
        SCOPED_TRACE(dialect.name);
        for (const bool later_reply : {false, true}) {
            LinkBench bench;
            auto link = MakeLink(dialect, bench.context);
            bench.context.replies.version_text.fill('p');  // a previous reply
            bench.Answer(dialect.version_command,
                         dialect.ack_version + dialect.version_reply("") +
                             (later_reply ? dialect.version_reply("V2") : ""));
            EXPECT_EQ(link->QueryVersion(), later_reply ? 0 : 1);
            EXPECT_EQ(bench.context.replies.VersionText(), later_reply ? "V2" : "");
        }
    }
}

TEST(QueryVersion, SilentMcuLogsHeadingAndNoResponseAfterTwoSeconds) {
    for (const auto& dialect : kDialects) {
        SCOPED_TRACE(dialect.name);
        LinkBench bench;
        auto link = MakeLink(dialect, bench.context);
        EXPECT_EQ(link->QueryVersion(), 1);
        EXPECT_EQ(bench.capture.log(), kVersionHeading + kNoResponse);
        // 10 ms settle, then the first poll past 2000 ms of silence.
        EXPECT_EQ(bench.Elapsed(), 10u + 2002u);
    }
}

TEST(Queries, ReadFailureEndsTheWaitWithTheDialectsResult) {
    for (const auto& dialect : kDialects) {
        SCOPED_TRACE(dialect.name);
        LinkBench bench;
        auto link = MakeLink(dialect, bench.context);
        bench.port.faults().read = true;
        EXPECT_EQ(link->WaitAck(0x50, 2000), dialect.read_failure);
        EXPECT_EQ(link->QueryVersion(), dialect.read_failure);
        EXPECT_EQ(link->QueryChecksum(), dialect.read_failure);
        EXPECT_EQ(link->QueryInformation(), dialect.read_failure);
        EXPECT_EQ(bench.capture.log(), kVersionHeading + kNoResponse + kNoResponse);
        EXPECT_EQ(bench.Elapsed(), 30u);  // the three settle pauses, no waiting
    }
}

TEST(QueryInformation, SilentMcuLogsOnlyNoResponse) {
    for (const auto& dialect : kDialects) {
        SCOPED_TRACE(dialect.name);
        LinkBench bench;
        auto link = MakeLink(dialect, bench.context);
        EXPECT_EQ(link->QueryInformation(), 1);
        EXPECT_EQ(bench.capture.log(), kNoResponse);
    }
}

TEST(QueryInformation, StoresAtMost1023BytesAndEndsWithZero) {
    for (const auto& dialect : kDialects) {
        SCOPED_TRACE(dialect.name);
        LinkBench bench;
        auto link = MakeLink(dialect, bench.context);
        bench.context.replies.information_text.fill('p');  // cleared by the query
        std::string text;
        for (int i = 0; i < 1100; ++i) {
            text.push_back(static_cast<char>('A' + i % 26));
        }
        bench.Answer(dialect.information_command, dialect.ack_query + text);

        EXPECT_EQ(link->QueryInformation(), 0);
        EXPECT_EQ(bench.context.replies.InformationText(), text.substr(0, 1023));
        EXPECT_EQ(bench.context.replies.information_text[1023], 0);
        EXPECT_EQ(bench.capture.log(),
                  "======== MCU Information ========\r\n" + text.substr(0, 1023));
    }
}

TEST(QueryInformation, EndsAfterAHundredQuietMillisecondsOrTwoSecondsInAll) {
    struct Case {
        const char* line;
        std::uint32_t byte_interval_ms;
        std::size_t stored;
    };
    // A byte every 50 ms keeps the line busy: the 2000 ms bound ends the collection.
    for (const auto& test : {Case{"quiet after two bytes", 0, 2}, Case{"busy", 50, 41}}) {
        SCOPED_TRACE(test.line);
        LinkBench bench;
        CAsciiLink link(bench.context);
        bench.Answer("$e\r\n", kAsciiAck);
        const std::uint32_t ack_at = LinkBench::kStartMs + 11;
        for (std::uint32_t i = 0; i < (test.byte_interval_ms == 0 ? 2 : 100); ++i) {
            bench.port.ArriveAt(ack_at + i * test.byte_interval_ms, "x");
        }
        EXPECT_EQ(link.QueryInformation(), 0);
        EXPECT_EQ(bench.context.replies.InformationText().size(), test.stored);
    }
}

TEST(QueryChecksum, TakesTheValueMostSignificantFirst) {
    struct Case {
        const char* dialect;
        bool framed;
        std::string trigger;
        std::string answer;
        int result;
        std::uint32_t checksum;
    };
    const Case cases[] = {
        {"ascii", false, "$eCS\r\n",
         kAsciiAck + "CS:" + Bytes({0x01, 0x12, 0x34, 0x56, 0x78}) + "\r\n", 0, 0x12345678},
        {"ascii, CR in the value ends it", false, "$eCS\r\n",
         kAsciiAck + "CS:" + Bytes({0x12, 0x0D, 0x56, 0x78}) + "\r\n", 0, 0x12},
        {"framed", true, Bytes({0xFF, 0xAA, 0x7B, 0x02, 0x43, 0x53, 0x69}),
         FrameAck(0x7B) + Bytes({0xFF, 0xBB, 0x96, 0x05, 0x12, 0x34, 0x56, 0x78, 0x9A, 0x00}), 0,
         0x12345678},
        {"framed, empty payload waits on", true, Bytes({0xFF, 0xAA, 0x7B, 0x02, 0x43, 0x53, 0x69}),
         FrameAck(0x7B) + Bytes({0xFF, 0xBB, 0x96, 0x00, 0x00}), 1, 0},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.dialect);
        LinkBench bench;
        CAsciiLink ascii(bench.context);
        CFrameLink frame(bench.context);
        CMcuLink& link = test.framed ? static_cast<CMcuLink&>(frame) : ascii;
        bench.context.replies.checksum = 0xDEADBEEF;
        bench.Answer(test.trigger, test.answer);
        EXPECT_EQ(link.QueryChecksum(), test.result);
        EXPECT_EQ(bench.context.replies.checksum, test.checksum);
        EXPECT_EQ(bench.capture.log(), "");
    }
}

TEST(WaitAck, AcceptsOnlyTheUnbrokenSequence) {
    struct Case {
        const char* line;
        bool framed;
        std::uint8_t command;
        std::string bytes;
        int result;
    };
    const Case cases[] = {
        {"ascii after unrelated bytes", false, 0, "xy$@\r\n", 0},
        {"ascii two at signs then CR LF", false, 0, "@@\r\n", 1},
        {"ascii at sign, LF", false, 0, "@\n\r\n", 1},
        {"framed after unrelated bytes", true, 0x7B, Bytes({0x00, 0xFF, 0x55, 0x7B, 0x01}), 0},
        {"framed for another command", true, 0x7B, Bytes({0xFF, 0x55, 0x50, 0x01}), 1},
        {"framed FF FF 55", true, 0x7B, Bytes({0xFF, 0xFF, 0x55, 0x7B, 0x01}), 1},
        {"framed wrong end byte", true, 0x7B, Bytes({0xFF, 0x55, 0x7B, 0x02}), 1},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.line);
        LinkBench bench;
        CAsciiLink ascii(bench.context);
        CFrameLink frame(bench.context);
        CMcuLink& link = test.framed ? static_cast<CMcuLink&>(frame) : ascii;
        bench.port.ArriveAfter(5, test.bytes);
        EXPECT_EQ(link.WaitAck(test.command, 2000), test.result);
    }
}

}  // namespace
}  // namespace velkor
