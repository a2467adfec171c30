// DecodeOptions and WriteConfiguration of the six families.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/link_bench.h"
#include "support/procedure_bench.h"

namespace velkor {
namespace {

using testing::Bytes;
using testing::Family;
using testing::NameOf;
using testing::ProcedureBench;

// In the order TFT, DVD, TV, AUDIO, RADIO, HBRAKE, RDS.
UnitOptions Options(int tft, int dvd, int tv, int audio, int radio, int hbrake, int rds) {
    UnitOptions options;
    const int values[] = {tft, dvd, tv, audio, radio, hbrake, rds};
    std::copy(std::begin(values), std::end(values), options.begin());
    return options;
}

UnitOptions Decoded(Family family, const std::string& version) {
    ProcedureBench bench;
    bench.SetReplies(version, "");
    bench.state.unit_options.fill(5);  // from another unit
    EXPECT_EQ(bench.Link(family).DecodeOptions(), 0);
    return bench.state.unit_options;
}

TEST(ProcedureDecodeOptions, EachFamilyReadsItsOwnPositions) {
    // Frame M3 and STM8: DVD 5, TFT 6-8, TV 9, HBRAKE 10, AUDIO 11, RADIO 12; frame NEC: TV 9,
    // HBRAKE 10; ASCII: HBRAKE 8, TV 12.
    const std::string every_code = "xxxxxFH62DH9T", i6n = "xxxxxxI6Nxxxx";
    const std::string ascii_codes = "01234567H123E";
    const struct {
        Family family;
        std::string version;
        UnitOptions expected;
    } cases[] = {
        {Family::kM3Frame, every_code, Options(2, 2, 6, 1, 3, 1, 0)},
        {Family::kStm8Frame, every_code, Options(2, 2, 6, 1, 3, 1, 0)},
        {Family::kNecFrame, every_code, Options(0, 0, 6, 0, 0, 1, 0)},
        {Family::kM3Ascii, every_code, Options(0, 0, 7, 0, 0, 0, 0)},
        {Family::kM3Frame, i6n, Options(8, 0, 0, 3, 0, 0, 0)},
        {Family::kStm8Frame, i6n, Options(8, 0, 0, 3, 0, 0, 0)},
        {Family::kStm8Ascii, i6n, Options(0, 0, 0, 0, 0, 0, 0)},  // no TFT code, whatever is there
        {Family::kStm8Ascii, ascii_codes, Options(0, 0, 8, 0, 0, 1, 0)},
        {Family::kNecAscii, ascii_codes, Options(0, 0, 8, 0, 0, 1, 0)},
        {Family::kM3Ascii, ascii_codes, Options(0, 0, 8, 0, 0, 1, 0)},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(std::string(NameOf(test.family)) + " " + test.version);
        EXPECT_EQ(Decoded(test.family, test.version), test.expected);
    }
    // An absent reply decodes to zeros, but a zero byte is no audio code.
    for (Family family : testing::kAllFamilies) {
        const bool audio = family == Family::kM3Frame || family == Family::kStm8Frame;
        EXPECT_EQ(Decoded(family, ""), Options(0, 0, 0, audio ? 3 : 0, 0, 0, 0)) << NameOf(family);
    }
}

TEST(ProcedureDecodeOptions, EveryCodeOfEveryOption) {
    struct Case {
        UnitOption option;
        std::string codes;  // a code per index, codes.size() / width of them
        std::size_t width;
        std::string unlisted;
        int unlisted_index;
    };
    const Case cases[] = {
        {kOptionTv, "-BIASCDTE", 1, "b", 0},
        {kOptionTft, "H8-H7-H62I8-I7-I65I8NI7NI6N", 3, "I6X", 0},
        {kOptionDvd, "-RFZ", 1, "Q", 0},
        {kOptionAudio, "893", 1, "0", 3},
        {kOptionRadio, "?NRT", 1, "X", 0},
        {kOptionHbrake, "NH", 1, "h", 0},
    };
    const std::size_t kPosition[] = {6, 5, 9, 11, 12, 10};  // CM3FrameLink, by UnitOption
    for (const auto& test : cases) {
        const std::size_t position = kPosition[test.option];
        const auto decode = [&](const std::string& code) {
            std::string version(13, '?');
            version.replace(position, code.size(), code);
            return static_cast<int>(Decoded(Family::kM3Frame, version)[test.option]);
        };
        const std::size_t count = test.codes.size() / test.width;
        for (std::size_t index = test.option == kOptionRadio ? 1 : 0; index < count; ++index) {
            const std::string code = test.codes.substr(index * test.width, test.width);
            EXPECT_EQ(decode(code), static_cast<int>(index)) << code;
        }
        EXPECT_EQ(decode(test.unlisted), test.unlisted_index) << test.unlisted;
    }
    // 'S' sends TV index 8 to an STM8, but in its version text it is index 4.
    EXPECT_EQ(Decoded(Family::kStm8Ascii, "????????????S")[kOptionTv], 4);
}

// Answers every write with `ack` 1 ms later.
void AckEveryWrite(ProcedureBench& bench, std::string ack) {
    bench.port.SetWriteHook(
        [ack](FakeSerialPort& port, std::span<const std::uint8_t>) { port.ArriveAfter(1, ack); });
}

const std::string kAsciiAck = "@\r\n";
const std::string kConfigurationAck = Bytes({0xFF, 0x55, 0xB0, 0x01});

TEST(ProcedureWriteConfiguration, AsciiCommandCarriesTvHandBrakeAndRdsLetters) {
    const struct {
        Family family;
        int tv, hbrake, rds;
        std::string command;
    } cases[] = {
        {Family::kM3Ascii, 8, 1, 0, Bytes({0x24, 0x57, 0x45, 0x45, 0x44, 0x0D, 0x0A})},
        {Family::kStm8Ascii, 8, 1, 0, Bytes({0x24, 0x57, 0x53, 0x45, 0x44, 0x0D, 0x0A})},
        {Family::kNecAscii, 8, 1, 0, "$WEED\r\n"},
        {Family::kStm8Ascii, 4, 0, 1, "$WSDE\r\n"},
        {Family::kNecAscii, 0, 1, 1, "$W-EE\r\n"},
        {Family::kM3Ascii, 1, 0, 0, "$WBDD\r\n"},
        {Family::kStm8Ascii, 9, 2, 255, "$W-DD\r\n"},  // out of range: '-', 'D', 'D'
        {Family::kNecAscii, 255, 0, 0, "$W-DD\r\n"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(std::string(NameOf(test.family)) + " TV " + std::to_string(test.tv));
        ProcedureBench bench;
        AckEveryWrite(bench, kAsciiAck);
        bench.state.unit_options = Options(3, 2, test.tv, 1, 2, test.hbrake, test.rds);
        EXPECT_EQ(bench.Link(test.family).WriteConfiguration(), 0);
        EXPECT_EQ(bench.Writes(), std::vector<std::string>{test.command});  // in one write
    }
}

std::string OptionFrame(const std::vector<int>& payload) {
    std::string frame = Bytes({0xFF, 0xAA, 0xB0, static_cast<int>(payload.size())});
    int check = 0xB0 ^ static_cast<int>(payload.size());
    for (int byte : payload) {
        frame.push_back(static_cast<char>(byte));
        check ^= byte;
    }
    return frame + static_cast<char>(check);
}

TEST(ProcedureWriteConfiguration, FramePayloadOfEachFamily) {
    const struct {
        const char* name;
        Family family;
        UnitOptions options;
        std::string frame;
    } cases[] = {
        {"M3 example", Family::kM3Frame, Options(2, 1, 6, 3, 2, 1, 0),
         Bytes({0xFF, 0xAA, 0xB0, 0x06, 0x02, 0x01, 0x02, 0x07, 0x03, 0x01, 0xB2})},
        {"M3 TV 7 as 8", Family::kM3Frame, Options(0, 0, 7, 0, 0, 0, 1),
         OptionFrame({0, 0, 0, 8, 0, 0})},
        {"M3 TV 8 as 6", Family::kM3Frame, Options(0, 0, 8, 0, 0, 0, 0),
         OptionFrame({0, 0, 0, 6, 0, 0})},
        {"M3 TV 5 kept", Family::kM3Frame, Options(0, 0, 5, 0, 0, 0, 0),
         OptionFrame({0, 0, 0, 5, 0, 0})},
        {"STM8 TV 8 as 4", Family::kStm8Frame, Options(1, 2, 8, 3, 1, 1, 1),
         OptionFrame({0xC0, 1, 2, 1, 4, 3, 1, 1})},
        {"STM8 TV 4 kept", Family::kStm8Frame, Options(1, 2, 4, 3, 1, 0, 0),
         OptionFrame({0xC0, 1, 2, 1, 4, 3, 0, 0})},
        {"STM8 TV 6 kept", Family::kStm8Frame, Options(0, 0, 6, 0, 0, 0, 0),
         OptionFrame({0xC0, 0, 0, 0, 6, 0, 0, 0})},
        {"NEC: TV, hand brake and RDS only", Family::kNecFrame, Options(3, 2, 8, 1, 2, 1, 1),
         OptionFrame({0xC0, 0, 0, 0, 8, 0, 1, 1})},
        {"raw out-of-range indices", Family::kM3Frame, Options(200, 9, 9, 7, 4, 2, 0),
         OptionFrame({200, 9, 4, 9, 7, 2})},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        ProcedureBench bench;
        AckEveryWrite(bench, kConfigurationAck);
        bench.state.unit_options = test.options;
        EXPECT_EQ(bench.Link(test.family).WriteConfiguration(), 0);
        EXPECT_EQ(bench.Writes(), std::vector<std::string>{test.frame});
    }
}

TEST(ProcedureWriteConfiguration, OutcomeLineProgressAndResult) {
    const struct {
        const char* name;
        std::string ack_ascii, ack_frame;  // answer to the write; empty: none
        bool read_fails, write_fails;
        int result_ascii, result_frame;
        std::uint32_t ends_at_ms;
    } cases[] = {
        {"acknowledged", kAsciiAck, kConfigurationAck, false, false, 0, 0, 200},
        {"silent", "", "", false, false, 1, 1, 200 + 1002},
        {"acknowledgement of something else", "@\r", Bytes({0xFF, 0x55, 0x7A, 0x01}), false, false,
         1, 1, 200 + 1002},
        {"read fails", "", "", true, false, 2, 1, 200},
        {"write fails", kAsciiAck, kConfigurationAck, false, true, 2, 1, 200},  // no wait
    };
    for (const auto& test : cases) {
        for (Family family : testing::kAllFamilies) {
            SCOPED_TRACE(std::string(test.name) + " " + NameOf(family));
            const bool framed = testing::IsFramed(family);
            ProcedureBench bench;
            if (const std::string& ack = framed ? test.ack_frame : test.ack_ascii; !ack.empty()) {
                AckEveryWrite(bench, ack);
            }
            bench.port.faults().read = test.read_fails;
            bench.port.faults().write = test.write_fails;
            const int expected = framed ? test.result_frame : test.result_ascii;

            EXPECT_EQ(bench.Link(family).WriteConfiguration(), expected);

            EXPECT_EQ(bench.Elapsed(), test.ends_at_ms);
            EXPECT_EQ(bench.capture.log(), expected == 0
                                               ? "config complete, MCU will auto reset\r\n"
                                               : "config fail, please reset and try again\r\n");
            const std::vector<int> progress =
                expected == 0 ? std::vector<int>{0, 50, 50, 100} : std::vector<int>{0, 50, 50};
            EXPECT_EQ(bench.capture.progress(), progress);
            // Written after the first pause and a purge.
            EXPECT_EQ(bench.port.writes().size(), test.write_fails ? 0u : 1u);
            for (const auto& write : bench.port.writes()) {
                EXPECT_EQ(write.at_ms - ProcedureBench::kStartMs, 100u);
            }
        }
    }
}

}  // namespace
}  // namespace velkor
