// The simulator's building blocks: the paced transmit line, the tick timeline, the flash, and
// the texts of velkor-sim's command line.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "sim/device_symlink.h"
#include "sim/flash_file.h"
#include "sim/flash_memory.h"
#include "sim/option_text.h"
#include "sim/tick_timeline.h"
#include "sim/transmit_line.h"
#include "support/temp_dir.h"

namespace velkor::sim {
namespace {

std::vector<std::uint64_t> ArrivalsMs(const std::vector<LineByte>& bytes) {
    std::vector<std::uint64_t> ms;
    for (const auto& byte : bytes) {
        ms.push_back(byte.arrival_ns / 1000);  // in microseconds, to see fractions
    }
    return ms;
}

TEST(TransmitLine, PacesBytesAndQueuesEachSendBehindTheLast) {
    const std::uint8_t three[] = {1, 2, 3};
    struct Case {
        const char* name;
        std::uint32_t baud;
        std::uint64_t gap_ms;
        std::vector<std::uint64_t> expected_us;  // of both sends, the second asked for at 0
    };
    const Case cases[] = {
        {"at once", 0, 0, {5000, 5000, 5000, 5000, 5000, 5000}},
        {"10000 baud: 1 ms a byte", 10000, 0, {6000, 7000, 8000, 9000, 10000, 11000}},
        {"19200 baud keeps its fraction", 19200, 0, {5520, 6041, 6562, 7083, 7604, 8124}},
        {"trickle", 0, 1000, {1005000, 2005000, 3005000, 4005000, 5005000, 6005000}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        TransmitLine line(test.baud, std::nullopt);
        std::vector<LineByte> out;
        line.Send(three, 5 * kNsPerMs, test.gap_ms * kNsPerMs, out);
        line.Send(three, 0, test.gap_ms * kNsPerMs, out);
        EXPECT_EQ(ArrivalsMs(out), test.expected_us);
        EXPECT_EQ(line.bytes_sent(), 6u);
        EXPECT_FALSE(line.DropNs());
    }
}

TEST(TransmitLine, DropsAfterItsAllowanceAndSendsNothingMore) {
    const std::uint8_t four[] = {1, 2, 3, 4};
    TransmitLine line(0, 3);
    std::vector<LineByte> out;
    line.Send(four, 7 * kNsPerMs, 0, out);
    line.Send(four, 8 * kNsPerMs, 0, out);
    EXPECT_EQ(out.size(), 3u);
    EXPECT_EQ(line.DropNs(), (7 + TransmitLine::kDropDelayMs) * kNsPerMs);

    TransmitLine dead(0, 0);
    EXPECT_EQ(dead.DropNs(), 0u);
    dead.Send(four, 0, 0, out);
    EXPECT_EQ(out.size(), 3u);
}

TEST(TickTimeline, RunsOnAcrossTheWrapAndRoundsArrivalsUp) {
    TickTimeline timeline(0xFFFFFF00u);
    EXPECT_EQ(timeline.Observe(0xFFFFFF00u), 0u);
    EXPECT_EQ(timeline.Observe(0x00000010u), 0x110u * kNsPerMs);
    EXPECT_EQ(timeline.TickAt(0x110u * kNsPerMs), 0x00000010u);
    EXPECT_EQ(timeline.TickAt(0x110u * kNsPerMs + 1), 0x00000011u);
    EXPECT_EQ(timeline.TickAt(0), 0xFFFFFF00u);
}

TEST(FlashMemory, SumsItsRangeAndRefusesWritesPastItsEnd) {
    FlashMemory flash(16, 0x01);
    const std::uint8_t data[] = {0x10, 0x20, 0x30};
    EXPECT_TRUE(flash.Write(13, data));
    EXPECT_FALSE(flash.Write(14, data));
    EXPECT_FALSE(flash.Write(17, {}));
    EXPECT_EQ(flash.Sum({0, 16}), 13u + 0x60u);
    EXPECT_EQ(flash.Sum({13, 14}), 0x10u);
    EXPECT_EQ(flash.Sum({14, 100}), 0x50u) << "the part outside the flash counts nothing";
    EXPECT_EQ(flash.Sum({9, 9}), 0u);
    EXPECT_EQ(FlashMemory().Sum({}), 0x40000u * 0xFFu) << "the default is erased 256 KiB";
}

TEST(OptionText, DecodesEscapes) {
    struct Case {
        const char* text;
        std::optional<std::string> bytes;
    };
    const Case cases[] = {
        {R"(V1\r\n)", "V1\r\n"},
        {R"(\x00\xff\x7)", std::string("\0\xFF\x07", 3)},
        {R"(\xFFF)",
         "\xFF"
         "F"},
        {R"(a\\b\t\0)", std::string("a\\b\t\0", 5)},
        {R"(\q)", std::nullopt},
        {R"(end\)", std::nullopt},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.text);
        EXPECT_EQ(DecodeEscapes(test.text), test.bytes);
    }
}

TEST(OptionText, ParsesInclusiveFlashRanges) {
    struct Case {
        const char* text;
        std::optional<FlashRange> range;
    };
    const Case cases[] = {
        {"0x8000-0x27FFF", FlashRange{0x8000, 0x28000}},
        {"0-262143", FlashRange{0, 0x40000}},
        {"5-5", FlashRange{5, 6}},
        {"0x0-0x40000", std::nullopt},
        {"6-5", std::nullopt},
        {"0x-5", std::nullopt},
        {"1-2x", std::nullopt},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.text);
        EXPECT_EQ(ParseFlashRange(test.text), test.range);
    }
}

TEST(FlashFile, FillsFromAddressZeroOrLeavesTheFlashAlone) {
    testing::TempDir dir;
    FlashMemory flash(8, 0xFF);
    std::string error;
    EXPECT_TRUE(LoadFlashFile(dir.Write("small.bin", "\x01\x02\x03"), flash, error));
    EXPECT_EQ(flash.Sum({0, 8}), 6u + 5u * 0xFFu);

    const struct {
        const char* name;
        std::filesystem::path file;
    } failures[] = {
        {"too large", dir.Write("large.bin", std::string(9, 'x'))},
        {"missing", dir.path() / "missing.bin"},
        {"a folder", dir.path()},
    };
    for (const auto& failure : failures) {
        SCOPED_TRACE(failure.name);
        error.clear();
        EXPECT_FALSE(LoadFlashFile(failure.file, flash, error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(flash.Sum({0, 8}), 6u + 5u * 0xFFu);
    }
}

TEST(DeviceSymlink, ReplacesOnlyAnOlderLinkAndRemovesOnlyItsOwn) {
    testing::TempDir dir;
    const auto regular = dir.Write("settings.ini", "keep");
    std::string error;
    {
        DeviceSymlink symlink;
        EXPECT_FALSE(symlink.Create(regular, "/dev/pts/9", error));
        EXPECT_NE(error.find("not a symbolic link"), std::string::npos);
    }
    EXPECT_EQ(testing::TempDir::Read(regular), "keep");

    // A link left by an earlier run is replaced; one another run has made since is left.
    const auto link = dir.path() / "ttyVELKOR";
    std::filesystem::create_symlink("/dev/pts/8", link);
    {
        DeviceSymlink symlink;
        ASSERT_TRUE(symlink.Create(link, "/dev/pts/9", error)) << error;
        EXPECT_EQ(std::filesystem::read_symlink(link), "/dev/pts/9");
        std::filesystem::remove(link);
        std::filesystem::create_symlink("/dev/pts/7", link);
    }
    EXPECT_EQ(std::filesystem::read_symlink(link), "/dev/pts/7");
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"settings.ini", "ttyVELKOR"}));
}

}  // namespace
}  // namespace velkor::sim
