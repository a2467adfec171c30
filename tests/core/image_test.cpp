#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "image/hex_image.h"
#include "image/s19_image.h"
#include "support/capture_sink.h"
#include "support/records.h"
#include "support/temp_dir.h"

namespace velkor {
namespace {

using testing::HexBase;
using testing::HexData;
using testing::HexRecord;
using testing::SRecord;
using Bytes = std::vector<std::uint8_t>;

struct Expected {
    std::uint32_t address;
    Bytes bytes;
};

struct LoadCase {
    const char* name;
    std::string content;
    int result;
    std::vector<Expected> expected;  // bytes that must be there; every other byte is zero
    // Whether the file ends with its end record and how many data bytes it held, where given.
    std::optional<RecordFacts> facts = std::nullopt;
};

void PrintTo(const LoadCase& c, std::ostream* os) {
    *os << c.name;
}

// Checks the whole image: the expected bytes where given, zero everywhere else.
void ExpectImage(const std::uint8_t* image, const std::vector<Expected>& expected) {
    Bytes want(kImageSize, 0);
    for (const auto& e : expected) {
        std::copy(e.bytes.begin(), e.bytes.end(), want.begin() + e.address);
    }
    const auto mismatch = std::mismatch(want.begin(), want.end(), image);
    if (mismatch.first != want.end()) {
        ADD_FAILURE() << "image byte 0x" << std::hex << (mismatch.first - want.begin()) << " is 0x"
                      << int{*mismatch.second} << ", want 0x" << int{*mismatch.first};
    }
}

template <typename Image>
void RunLoadCase(const LoadCase& c) {
    testing::TempDir dir;
    testing::CaptureSink capture;
    Image image(capture.report);
    EXPECT_EQ(image.Load(dir.Write("fw", c.content)), c.result);
    ASSERT_NE(image.Buffer(), nullptr);
    ExpectImage(image.Buffer(), c.expected);
    if (c.facts) {
        EXPECT_EQ(image.record_facts(), *c.facts);
    }
    if (c.result == kLoadOk) {
        EXPECT_EQ(capture.log(), "");
        EXPECT_EQ(capture.progress().back(), 100);
    } else {
        EXPECT_EQ(capture.log(), kLogFormatError);
    }
}

const Bytes k123{1, 2, 3};
const Bytes kLetters{0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return std::tolower(c); });
    return text;
}

// Replaces the record's checksum digits with ones that are off by one.
std::string BadChecksum(std::string record) {
    record.back() = record.back() == '0' ? '1' : '0';
    return record;
}

class HexLoad : public ::testing::TestWithParam<LoadCase> {};
TEST_P(HexLoad, GivesImage) {
    RunLoadCase<CHexImage>(GetParam());
}

const std::string kHex8000 = HexData(0x8000, k123);
const std::string kEof = HexRecord(0x01, 0, {});

INSTANTIATE_TEST_SUITE_P(
    Cases, HexLoad,
    ::testing::Values(
        LoadCase{"empty file", "", kLoadOk, {}, RecordFacts{false, 0}},
        LoadCase{"only end of file record", kEof + "\r\n", kLoadOk, {}, RecordFacts{true, 0}},
        LoadCase{
            "data at offset", kHex8000 + "\r\n", kLoadOk, {{0x8000, k123}}, RecordFacts{false, 3}},
        LoadCase{"data, end of file and a comment",
                 kHex8000 + "\r\n" + kEof + "\r\n; end\r\n",
                 kLoadOk,
                 {{0x8000, k123}},
                 RecordFacts{true, 3}},
        LoadCase{"lower case digits",
                 Lower(HexData(0x8000, kLetters)) + "\r\n",
                 kLoadOk,
                 {{0x8000, kLetters}}},
        LoadCase{"skipped lines", "; comment\r\n " + kHex8000 + "\r\nx\r\n", kLoadOk, {}},
        LoadCase{"linear base",
                 HexBase(0x04, 0x0001) + "\r\n" + kHex8000 + "\r\n",
                 kLoadOk,
                 {{0x18000, k123}}},
        LoadCase{"segment base",
                 HexBase(0x02, 0x1000) + "\r\n" + kHex8000 + "\r\n",
                 kLoadOk,
                 {{0x18000, k123}}},
        LoadCase{"both bases add up",
                 HexBase(0x02, 0x1000) + "\n" + HexBase(0x04, 0x0001) + "\n" + HexData(0, k123),
                 kLoadOk,
                 {{0x20000, k123}}},
        LoadCase{"start address records ignored",
                 HexRecord(0x03, 0, {0, 0, 0x80, 0}) + "\n" + HexRecord(0x05, 0, {0, 0, 0x80, 0}) +
                     "\n" + HexRecord(0x07, 0, {9}) + "\n" + kHex8000 + "\n",
                 kLoadOk,
                 {{0x8000, k123}}},
        LoadCase{"data after end of file",
                 kEof + "\r\n" + kHex8000 + "\r\n",
                 kLoadOk,
                 {{0x8000, k123}},
                 RecordFacts{false, 3}},
        LoadCase{
            "byte count zero", HexData(0x8000, {}) + "\r\n", kLoadOk, {}, RecordFacts{false, 0}},
        LoadCase{"LF, CR and blank lines",
                 kHex8000 + "\n\n\r\r\n" + HexData(0x8010, {4, 5}) + "\r",
                 kLoadOk,
                 {{0x8000, k123}, {0x8010, {4, 5}}}},
        LoadCase{"last line without line end", "\r\n" + kHex8000, kLoadOk, {{0x8000, k123}}},
        LoadCase{"trailing blanks and end-of-file character",
                 kHex8000 + " \t\r\n\x1A",
                 kLoadOk,
                 {{0x8000, k123}}},
        LoadCase{"wrong checksum keeps earlier records",
                 kHex8000 + "\r\n" + BadChecksum(HexData(0x8010, {4})) + "\r\n" +
                     HexData(0x8020, {5}) + "\r\n",
                 kLoadFormatError,
                 {{0x8000, k123}}},
        LoadCase{"end of file record with wrong checksum",
                 BadChecksum(kEof) + "\r\n",
                 kLoadFormatError,
                 {}},
        LoadCase{"non-hex digit", ":0380000001020G76\r\n", kLoadFormatError, {}},
        LoadCase{"shorter than its byte count", ":04800000010203F6\r\n", kLoadFormatError, {}},
        LoadCase{"longer than its byte count", kHex8000 + "00\r\n", kLoadFormatError, {}},
        LoadCase{"colon alone", ":\r\n", kLoadFormatError, {}},
        LoadCase{"record at the image end",
                 HexBase(0x04, 0x0003) + "\r\n" + HexData(0xFFFF, {0xAA}) + "\r\n",
                 kLoadOk,
                 {{0x3FFFF, {0xAA}}}},
        LoadCase{"record beyond the image",
                 HexBase(0x04, 0x0004) + "\r\n" + HexData(0x0000, {0x55}) + "\r\n",
                 kLoadFormatError,
                 {}},
        LoadCase{"record across the image end",
                 HexBase(0x04, 0x0003) + "\r\n" + HexData(0xFFFF, {0xAA, 0xBB}) + "\r\n",
                 kLoadFormatError,
                 {}},
        LoadCase{"segment base beyond the image",
                 HexBase(0x02, 0xFFFF) + "\r\n" + HexData(0xFFFF, {0xAA}) + "\r\n",
                 kLoadFormatError,
                 {}},
        LoadCase{"longest record accepted",
                 HexData(0x8000, Bytes(122, 0x5A)) + "\r\n",
                 kLoadOk,
                 {{0x8000, Bytes(122, 0x5A)}}},
        LoadCase{
            "over-long line", HexData(0x8000, Bytes(123, 0x5A)) + "\r\n", kLoadFormatError, {}},
        LoadCase{"over-long comment line", std::string(300, ';') + "\r\n", kLoadFormatError, {}}));

class S19Load : public ::testing::TestWithParam<LoadCase> {};
TEST_P(S19Load, GivesImage) {
    RunLoadCase<CS19Image>(GetParam());
}

const std::string kS1 = SRecord('1', 0x8000, k123);

INSTANTIATE_TEST_SUITE_P(
    Cases, S19Load,
    ::testing::Values(
        LoadCase{"empty file", "", kLoadOk, {}, RecordFacts{false, 0}},
        LoadCase{"header, data and termination",
                 SRecord('0', 0, {'h', 'd', 'r'}) + "\r\n" + kS1 + "\r\n" +
                     SRecord('9', 0x8000, {}) + "\r\n",
                 kLoadOk,
                 {{0x8000, k123}},
                 RecordFacts{true, 3}},
        LoadCase{"S8 termination, then a line of filler",
                 kS1 + "\r\n" + SRecord('8', 0x8000, {}) + "\r\n\x1A",
                 kLoadOk,
                 {{0x8000, k123}},
                 RecordFacts{true, 3}},
        LoadCase{"header and termination only",
                 SRecord('0', 0, {'h'}) + "\n" + SRecord('7', 0, {}) + "\n",
                 kLoadOk,
                 {},
                 RecordFacts{true, 0}},
        LoadCase{
            "S1, S2 and S3 addresses",
            kS1 + "\n" + SRecord('2', 0x018000, {4}) + "\n" + SRecord('3', 0x00028000, {5}) + "\n",
            kLoadOk,
            {{0x8000, k123}, {0x18000, {4}}, {0x28000, {5}}}},
        LoadCase{"S1 and S3 at the same index",
                 kS1 + "\n" + SRecord('3', 0x00008000, {9}) + "\n",
                 kLoadOk,
                 {{0x8000, {9, 2, 3}}}},
        LoadCase{"byte count 3 stores nothing", SRecord('1', 0x8000, {}) + "\n", kLoadOk, {}},
        LoadCase{"blank line between records",
                 kS1 + "\r\n\r\n" + SRecord('1', 0x9000, {7}) + "\r\n",
                 kLoadOk,
                 {{0x8000, k123}, {0x9000, {7}}}},
        LoadCase{"count and termination records ignored",
                 SRecord('5', 1, {}) + "\n" + SRecord('7', 0, {}) + "\n" + SRecord('8', 0, {}) +
                     "\n" + kS1 + "\n",
                 kLoadOk,
                 {{0x8000, k123}}},
        LoadCase{"records after termination",
                 SRecord('9', 0, {}) + "\n" + kS1 + "\n",
                 kLoadOk,
                 {{0x8000, k123}},
                 RecordFacts{false, 3}},
        // SRecord ends a file without a start address with its count of data records.
        LoadCase{"S5 count of every data record ends the file",
                 kS1 + "\n" + SRecord('2', 0x9000, {7}) + "\n" + SRecord('5', 2, {}) + "\n",
                 kLoadOk,
                 {{0x8000, k123}, {0x9000, {7}}},
                 RecordFacts{true, 4}},
        LoadCase{"S6 count, then termination",
                 kS1 + "\n" + SRecord('6', 1, {}) + "\n" + SRecord('9', 0, {}) + "\n",
                 kLoadOk,
                 {{0x8000, k123}},
                 RecordFacts{true, 3}},
        LoadCase{"count that disagrees: records went missing",
                 kS1 + "\n" + SRecord('5', 2, {}) + "\n",
                 kLoadOk,
                 {{0x8000, k123}},
                 RecordFacts{false, 3}},
        LoadCase{"count that disagrees, then termination",
                 kS1 + "\n" + SRecord('5', 0, {}) + "\n" + SRecord('9', 0, {}) + "\n",
                 kLoadOk,
                 {{0x8000, k123}},
                 RecordFacts{false, 3}},
        LoadCase{"lower case digits",
                 std::string("S1068000aabbcc")
                         .append(testing::HexByte(~(6u + 0x80 + 0xAA + 0xBB + 0xCC))) +
                     "\n",
                 kLoadOk,
                 {{0x8000, {0xAA, 0xBB, 0xCC}}}},
        LoadCase{"last line without line end", kS1, kLoadOk, {{0x8000, k123}}},
        LoadCase{"last line of filler only", kS1 + "\r\n  \x1A", kLoadOk, {{0x8000, k123}}},
        LoadCase{"types that are not digits ignored whatever follows",
                 "S\r\nSX\r\nShello world\r\nS-1\r\nS\x1A\r\n" + kS1 + "\r\nSZ",
                 kLoadOk,
                 {{0x8000, k123}}},
        LoadCase{"digit type without its byte count",
                 kS1 + "\nS1\n",
                 kLoadFormatError,
                 {{0x8000, k123}}},
        LoadCase{"lower case s", std::string("s").append(kS1, 1) + "\n", kLoadFormatError, {}},
        LoadCase{"blank-led line", kS1 + "\n " + kS1 + "\n", kLoadFormatError, {{0x8000, k123}}},
        LoadCase{"other leading character", "; comment\n", kLoadFormatError, {}},
        LoadCase{"wrong checksum keeps earlier records",
                 kS1 + "\n" + BadChecksum(SRecord('1', 0x9000, {7})) + "\n" +
                     SRecord('1', 0xA000, {8}) + "\n",
                 kLoadFormatError,
                 {{0x8000, k123}}},
        LoadCase{"header with wrong checksum",
                 BadChecksum(SRecord('0', 0, {})) + "\n",
                 kLoadFormatError,
                 {}},
        LoadCase{"non-hex digit", "S1068000010G0370\n", kLoadFormatError, {}},
        LoadCase{"shorter than its byte count",
                 kS1.substr(0, kS1.size() - 2) + "\n",
                 kLoadFormatError,
                 {}},
        LoadCase{"longer than its byte count", kS1 + "FF\n", kLoadFormatError, {}},
        LoadCase{"byte count below its address", "S1028000\n", kLoadFormatError, {}},
        LoadCase{"record at the image end",
                 SRecord('2', 0x3FFFF, {0xAA}) + "\n",
                 kLoadOk,
                 {{0x3FFFF, {0xAA}}}},
        LoadCase{
            "record beyond the image", SRecord('3', 0x40000, {0x55}) + "\n", kLoadFormatError, {}},
        LoadCase{"record far beyond the image",
                 SRecord('3', 0xFFFFFFFF, {0x55}) + "\n",
                 kLoadFormatError,
                 {}},
        LoadCase{"longest record accepted",
                 SRecord('1', 0x8000, Bytes(122, 7)) + "\n",
                 kLoadOk,
                 {{0x8000, Bytes(122, 7)}}},
        LoadCase{
            "over-long line", SRecord('3', 0x8000, Bytes(122, 7)) + "\n", kLoadFormatError, {}}));

TEST(FirmwareImage, SecondLoadLeavesNothingOfTheFirst) {
    testing::TempDir dir;
    Report report;
    CHexImage image(report);
    ASSERT_EQ(image.Load(dir.Write("a.hex", HexData(0x100, {1, 2, 3, 4}) + "\n")), kLoadOk);
    const std::uint8_t* buffer = image.Buffer();
    ASSERT_EQ(image.Load(dir.Write("b.hex", HexData(0x102, {9}) + "\n")), kLoadOk);
    EXPECT_EQ(image.Buffer(), buffer) << "the buffer is reused, not reallocated";
    ExpectImage(image.Buffer(), {{0x102, {9}}});
}

TEST(FirmwareImage, AFileNotReadKeepsThePreviousImage) {
    testing::TempDir dir;
    testing::CaptureSink capture;
    CS19Image image(capture.report);
    ASSERT_EQ(image.Load(dir.Write("a.s19", kS1 + "\n")), kLoadOk);
    capture.Clear();
    EXPECT_EQ(image.Load((dir.path() / "missing.s19").string()), kLoadCannotOpen);
    EXPECT_EQ(capture.log(), kLogCannotOpen);
    ExpectImage(image.Buffer(), {{0x8000, k123}});
    EXPECT_EQ(image.Load(dir.path().string()), kLoadCannotOpen) << "a folder is not a file";
    EXPECT_EQ(image.Load("/dev/null"), kLoadCannotOpen) << "a device is not a file";

    // Larger than any firmware file: refused for its size, before a byte of it is read.
    const std::string large = dir.Write("large.s19", kS1 + "\n");
    ASSERT_EQ(::truncate(large.c_str(), kMaxFirmwareFileSize + 1), 0);
    capture.Clear();
    EXPECT_EQ(image.Load(large), kLoadFormatError);
    EXPECT_EQ(capture.log(), kLogTooLarge);
    ExpectImage(image.Buffer(), {{0x8000, k123}});

    // A FIFO without a writer would block an ordinary open for ever.
    const std::string fifo = (dir.path() / "fifo.s19").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto load = std::async(std::launch::async, [&] { return image.Load(fifo); });
    if (load.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "the load of a FIFO hangs";
        // Become its writer, so the blocked open returns and the test can end.
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        load.wait();
        ::close(writer);
    }
    EXPECT_EQ(load.get(), kLoadCannotOpen) << "a FIFO is not a file";
    ExpectImage(image.Buffer(), {{0x8000, k123}});
}

TEST(FirmwareImage, BaseLoadReadsNothing) {
    Report report;
    CFirmwareImage image(report);
    EXPECT_EQ(image.Load("/nonexistent"), kLoadOk);
    EXPECT_EQ(image.Buffer(), nullptr);
}

class NoMemoryImage : public CHexImage {
  public:
    using CHexImage::CHexImage;

  protected:
    std::unique_ptr<std::uint8_t[]> AllocateBuffer() override { return nullptr; }
};

TEST(FirmwareImage, NoMemory) {
    testing::TempDir dir;
    testing::CaptureSink capture;
    NoMemoryImage image(capture.report);
    EXPECT_EQ(image.Load(dir.Write("a.hex", kHex8000)), kLoadNoMemory);
    EXPECT_EQ(capture.log(), kLogNoMemory);
    EXPECT_EQ(image.Buffer(), nullptr);
}

TEST(FirmwareImage, ProgressOnlyOnWholePercentChanges) {
    testing::TempDir dir;
    testing::CaptureSink capture;
    std::string content;
    for (unsigned offset = 0; offset < 0x4000; offset += 16) {
        content += HexData(offset, Bytes(16, 0x11)) + "\r\n";
    }
    CHexImage image(capture.report);
    ASSERT_EQ(image.Load(dir.Write("big.hex", content)), kLoadOk);
    EXPECT_EQ(capture.progress_maximum(), 100);
    std::vector<int> want;
    for (int p = 0; p <= 99; ++p) {
        want.push_back(p);  // the reset's 0, then 1..99 as they are reached
    }
    want.push_back(100);
    EXPECT_EQ(capture.progress(), want);
}

TEST(FirmwareImage, ProgressOfATinyFileJumps) {
    testing::TempDir dir;
    testing::CaptureSink capture;
    CHexImage image(capture.report);
    // Three bytes: k = 0, 1, 2 give 0, 33 and 66 percent.
    ASSERT_EQ(image.Load(dir.Write("tiny.hex", "\r\n\n")), kLoadOk);
    EXPECT_EQ(capture.progress(), (std::vector<int>{0, 33, 66, 100}));
}

TEST(FirmwareImage, FormatErrorLeavesProgressWhereItWas) {
    testing::TempDir dir;
    testing::CaptureSink capture;
    CHexImage image(capture.report);
    // 17 good bytes, then a bad record whose line end is byte 32 of 40: the last position
    // set is that of byte 31, 77 percent.
    const std::string good = HexData(0, {1, 2}) + "\r\n";
    const std::string content = good + BadChecksum(HexData(0, {1, 2})) + std::string(8, '\n');
    ASSERT_EQ(content.size(), 40u);
    EXPECT_EQ(image.Load(dir.Write("bad.hex", content)), kLoadFormatError);
    EXPECT_EQ(capture.progress().back(), 77);
}

}  // namespace
}  // namespace velkor
