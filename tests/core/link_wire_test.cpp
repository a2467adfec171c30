// The bytes both dialects put on the wire, and when.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "link/ascii_link.h"
#include "link/frame_commands.h"
#include "link/frame_link.h"
#include "support/link_bench.h"

namespace velkor {
namespace {

using testing::Bytes;
using testing::LinkBench;

struct WireCase {
    const char* operation;
    std::function<void(CMcuLink&)> run;
    std::vector<std::string> writes;  // each write in order
};

std::vector<std::string> WritesOf(const FakeSerialPort& port) {
    std::vector<std::string> writes;
    for (const auto& record : port.writes()) {
        writes.push_back(testing::AsString(record.bytes));
    }
    return writes;
}

// ASCII commands go out one byte per write: the MCU's command reader takes them that way.
std::vector<std::string> OneBytePerWrite(const std::string& text) {
    std::vector<std::string> writes;
    for (char ch : text) {
        writes.emplace_back(1, ch);
    }
    return writes;
}

TEST(AsciiWire, EveryCommandByteForByteOneWriteEach) {
    const WireCase cases[] = {
        {"QueryVersion", [](CMcuLink& link) { link.QueryVersion(); }, OneBytePerWrite("$R\r\n")},
        {"QueryChecksum", [](CMcuLink& link) { link.QueryChecksum(); },
         OneBytePerWrite("$eCS\r\n")},
        {"QueryInformation", [](CMcuLink& link) { link.QueryInformation(); },
         OneBytePerWrite("$e\r\n")},
        {"SendPrelude", [](CMcuLink& link) { link.SendPrelude(); },
         OneBytePerWrite("$rp-\r\n$rf-\r\n$c\r\n")},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.operation);
        LinkBench bench;
        CAsciiLink link(bench.context);
        test.run(link);
        EXPECT_EQ(WritesOf(bench.port), test.writes);
    }
}

TEST(FrameWire, EveryCommandAsOneCompleteFrame) {
    const WireCase cases[] = {
        {"QueryVersion",
         [](CMcuLink& link) { link.QueryVersion(); },
         {Bytes({0xFF, 0xAA, 0x50, 0x01, 0x5C, 0x0D})}},
        {"QueryChecksum",
         [](CMcuLink& link) { link.QueryChecksum(); },
         {Bytes({0xFF, 0xAA, 0x7B, 0x02, 0x43, 0x53, 0x69})}},
        {"QueryInformation",
         [](CMcuLink& link) { link.QueryInformation(); },
         {Bytes({0xFF, 0xAA, 0x7B, 0x03, 0x01, 0x00, 0x00, 0x79})}},
        {"SendPrelude",
         [](CMcuLink& link) { link.SendPrelude(); },
         {Bytes({0xFF, 0xBB, 0x25, 0x04, 0x00, 0x00, 0x00, 0x00, 0x21}),
          Bytes({0xFF, 0xBB, 0x09, 0x02, 0x00, 0x00, 0x0B})}},
        {"main MCU programming entry",
         [](CMcuLink& link) {
             static_cast<CFrameLink&>(link).SendFrame(kFrameEnterMainProgramming, true);
         },
         {Bytes({0xFF, 0xAA, 0x7A, 0x03, 0xAA, 0xC0, 0x02, 0x11})}},
        {"slave MCU programming entry",
         [](CMcuLink& link) {
             static_cast<CFrameLink&>(link).SendFrame(kFrameEnterSlaveProgramming, true);
         },
         {Bytes({0xFF, 0xAA, 0x7A, 0x03, 0xAA, 0xC0, 0x03, 0x10})}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.operation);
        LinkBench bench;
        CFrameLink link(bench.context);
        test.run(link);
        EXPECT_EQ(WritesOf(bench.port), test.writes);
    }
}

TEST(FrameWire, PayloadOfEveryLengthUpToTheLengthByte) {
    LinkBench bench;
    CFrameLink link(bench.context);
    const std::vector<std::uint8_t> payload(256, 0x5A);

    EXPECT_TRUE(link.SendFrame(0x01, payload.data(), 0, false));
    EXPECT_TRUE(link.SendFrame(0x01, payload.data(), 255, false));
    // 256 bytes cannot be announced in the length byte: nothing is sent.
    EXPECT_FALSE(link.SendFrame(0x01, payload.data(), 256, false));

    const auto writes = WritesOf(bench.port);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0], Bytes({0xFF, 0xBB, 0x01, 0x00, 0x01}));
    ASSERT_EQ(writes[1].size(), 260u);
    EXPECT_EQ(writes[1].substr(0, 4), Bytes({0xFF, 0xBB, 0x01, 0xFF}));
    // 0x01 ^ 0xFF, then 255 (an odd count) times 0x5A.
    EXPECT_EQ(static_cast<std::uint8_t>(writes[1].back()), 0x01 ^ 0xFF ^ 0x5A);
}

TEST(PreludeWire, PausesBetweenCommandsThenPurges) {
    struct PreludeCase {
        const char* dialect;
        bool framed;
        std::vector<std::uint32_t> command_offsets;
    };
    for (const auto& test :
         {PreludeCase{"ascii", false, {0, 50, 100}}, PreludeCase{"framed", true, {0, 100}}}) {
        SCOPED_TRACE(test.dialect);
        LinkBench bench;
        CAsciiLink ascii(bench.context);
        CFrameLink frame(bench.context);
        CMcuLink& link = test.framed ? static_cast<CMcuLink&>(frame) : ascii;
        // A reply to the prelude arrives meanwhile and must be gone afterwards.
        bench.port.ArriveAt(LinkBench::kStartMs + 30, "$junk\r\n");

        EXPECT_EQ(link.SendPrelude(), 0);

        std::vector<std::uint32_t> offsets;
        for (const auto& record : bench.port.writes()) {
            const char first = static_cast<char>(record.bytes.front());
            if (first == '$' || first == '\xFF') {
                offsets.push_back(record.at_ms - LinkBench::kStartMs);
            }
        }
        EXPECT_EQ(offsets, test.command_offsets);
        EXPECT_EQ(bench.port.purges(), std::vector<std::uint32_t>{LinkBench::kStartMs + 200});
        EXPECT_EQ(bench.port.pending_bytes(), 0u);
    }
}

TEST(WriteString, EmptyTextWritesNothing) {
    LinkBench bench;
    CAsciiLink link(bench.context);
    EXPECT_TRUE(link.WriteString(""));
    EXPECT_TRUE(bench.port.writes().empty());
}

TEST(WriteString, StopsAtAFailedByteRatherThanSendAMutilatedCommand) {
    LinkBench bench;
    CAsciiLink link(bench.context);
    bench.port.SetWriteHook([](FakeSerialPort& port, std::span<const std::uint8_t> bytes) {
        if (bytes[0] == 'w') {
            port.faults().writes_to_fail = 1;  // the 'I' of "$wIAP" is lost
        }
    });
    EXPECT_FALSE(link.WriteString("$wIAP\r\n"));
    EXPECT_EQ(testing::AsString(bench.port.written_bytes()), "$w");
}

}  // namespace
}  // namespace velkor
