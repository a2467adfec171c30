// The two dialects as the simulated MCU speaks them: commands recognised in the byte stream,
// and replies byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/ascii_dialect.h"
#include "sim/frame_dialect.h"
#include "support/link_bench.h"

namespace velkor::sim {
namespace {

// Bytes given as numbers, as a string.
std::string Raw(std::initializer_list<int> values) {
    return testing::Bytes(values);
}
using Kind = SimCommandKind;

struct Recognised {
    Kind kind;
    bool wants_ack;
};

std::vector<SimCommand> FeedAll(McuDialect& dialect, const std::string& stream) {
    std::vector<SimCommand> commands;
    for (char ch : stream) {
        if (auto command = dialect.Feed(static_cast<std::uint8_t>(ch))) {
            commands.push_back(std::move(*command));
        }
    }
    return commands;
}

struct ParseCase {
    const char* name;
    std::string stream;
    std::vector<Recognised> expected;
};

void CheckParsing(McuDialect& dialect, const ParseCase& test) {
    SCOPED_TRACE(test.name);
    const auto commands = FeedAll(dialect, test.stream);
    ASSERT_EQ(commands.size(), test.expected.size());
    for (std::size_t i = 0; i < commands.size(); ++i) {
        EXPECT_EQ(commands[i].kind, test.expected[i].kind) << "command " << i;
        EXPECT_EQ(commands[i].wants_ack, test.expected[i].wants_ack) << "command " << i;
    }
}

TEST(AsciiDialect, RecognisesEachCommandLine) {
    const ParseCase cases[] = {
        {"version", "$R\r\n", {{Kind::kQueryVersion, true}}},
        {"checksum", "$eCS\r\n", {{Kind::kQueryChecksum, true}}},
        {"information", "$e\r\n", {{Kind::kQueryInformation, true}}},
        {"prelude",
         "$rp-\r\n$rf-\r\n$c\r\n",
         {{Kind::kPrelude, false}, {Kind::kPrelude, false}, {Kind::kPrelude, false}}},
        {"noise before", Raw({0x00}) + "@xyz\r\n$R\r\n", {{Kind::kQueryVersion, true}}},
        {"a '$' starts over", "$eC$R\r\n", {{Kind::kQueryVersion, true}}},
        {"bare LF", "$R\n$e\r\n", {{Kind::kQueryInformation, true}}},
        {"unknown", "$r\r\n$RR\r\n", {{Kind::kUnknown, false}, {Kind::kUnknown, false}}},
        {"over-long line",
         "$" + std::string(40, 'R') + "\r\n$R\r\n",
         {{Kind::kCorrupted, false}, {Kind::kQueryVersion, true}}},
    };
    for (const auto& test : cases) {
        AsciiDialect dialect;
        CheckParsing(dialect, test);
    }
}

TEST(FrameDialect, RecognisesEachCommandFrameAndChecksItsCheckByte) {
    const ParseCase cases[] = {
        {"version", Raw({0xFF, 0xAA, 0x50, 0x01, 0x5C, 0x0D}), {{Kind::kQueryVersion, true}}},
        {"checksum",
         Raw({0xFF, 0xAA, 0x7B, 0x02, 0x43, 0x53, 0x69}),
         {{Kind::kQueryChecksum, true}}},
        {"information",
         Raw({0xFF, 0xAA, 0x7B, 0x03, 0x01, 0x00, 0x00, 0x79}),
         {{Kind::kQueryInformation, true}}},
        {"prelude",
         Raw({0xFF, 0xBB, 0x25, 0x04, 0x00, 0x00, 0x00, 0x00, 0x21, 0xFF, 0xBB, 0x09, 0x02, 0x00,
              0x00, 0x0B}),
         {{Kind::kPrelude, false}, {Kind::kPrelude, false}}},
        {"wrong check byte",
         Raw({0xFF, 0xAA, 0x50, 0x01, 0x5C, 0x0C, 0xFF, 0xAA, 0x50, 0x01, 0x5C, 0x0D}),
         {{Kind::kCorrupted, true}, {Kind::kQueryVersion, true}}},
        {"repeated start byte",
         Raw({0x13, 0xFF, 0xFF, 0xAA, 0x50, 0x01, 0x5C, 0x0D}),
         {{Kind::kQueryVersion, true}}},
        {"same code, other payload",
         Raw({0xFF, 0xAA, 0x7B, 0x02, 0x43, 0x54, 0x6E}),
         {{Kind::kUnknown, true}}},
        {"mode BB query",
         Raw({0xFF, 0xBB, 0x50, 0x01, 0x5C, 0x0D}),
         {{Kind::kQueryVersion, false}}},
        {"payload holding FF",
         Raw({0xFF, 0xAA, 0x7A, 0x03, 0xFF, 0xFF, 0xFF, 0x86, 0xFF, 0xAA, 0x50, 0x01, 0x5C, 0x0D}),
         {{Kind::kUnknown, true}, {Kind::kQueryVersion, true}}},
    };
    for (const auto& test : cases) {
        FrameDialect dialect;
        CheckParsing(dialect, test);
    }
}

struct ReplyCase {
    const char* name;
    Bytes actual;
    std::string expected;
};

TEST(DialectReplies, ByteForByte) {
    const AsciiDialect ascii;
    const FrameDialect framed;
    SimCommand acked{Kind::kQueryChecksum, 0x7B, true, {}};
    SimCommand unacked{Kind::kQueryVersion, 0x50, false, {}};
    const std::string long_text(300, 'x');
    const Bytes long_reply = framed.VersionReply(long_text);
    const ReplyCase cases[] = {
        {"ascii ack", ascii.Acknowledgement(acked), "@\r\n"},
        {"ascii version", ascii.VersionReply("R3360 V2"), "$VR3360 V2\r\n"},
        {"ascii checksum raw, CR included", ascii.ChecksumReply(0x0D00FF7Fu),
         Raw({'C', 'S', ':', 0x0D, 0x00, 0xFF, 0x7F, '\r', '\n'})},
        {"frame ack", framed.Acknowledgement(acked), Raw({0xFF, 0x55, 0x7B, 0x01})},
        {"no ack in mode BB", framed.Acknowledgement(unacked), ""},
        {"frame version", framed.VersionReply("J5"),
         Raw({0xFF, 0xAA, 0xA8, 0x02, 'J', '5', 0xA8 ^ 0x02 ^ 'J' ^ '5'})},
        {"frame checksum", framed.ChecksumReply(0x12345678u),
         Raw({0xFF, 0xAA, 0x96, 0x04, 0x12, 0x34, 0x56, 0x78,
              0x96 ^ 0x04 ^ 0x12 ^ 0x34 ^ 0x56 ^ 0x78})},
        {"frame version of 300 characters", Bytes(long_reply.begin(), long_reply.begin() + 4),
         Raw({0xFF, 0xAA, 0xA8, 0xFF})},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        EXPECT_EQ(testing::AsString(test.actual), test.expected);
    }
    EXPECT_EQ(long_reply.size(), 4u + 255u + 1u);
}

}  // namespace
}  // namespace velkor::sim
