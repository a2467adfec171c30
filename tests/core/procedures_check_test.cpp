// CheckFile of the six families: description, file checksum, identity warning, NEC version
// rule.
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "platform/text.h"
#include "support/procedure_bench.h"

namespace velkor {
namespace {

using testing::BootLoaderStub;
using testing::Family;
using testing::ProcedureBench;

const std::string kNoDescription = "The file have no description, maybe is incorrect.\r\n";
const std::string kReady = "Press \"Update\" to start update.\r\n";
const std::string kReadySlave = "Press \"Update\" to start update SLAVE MCU.\r\n";
const std::string kWarning = "======== WARNING ========\r\n";
const std::string kUnderV4 =
    kWarning + "The file version under V4, it will can't power on if update.\r\n";
const std::string kNotForUint =
    kWarning + "The file version is not for this UINT, it will can't power on if update.\r\n";

struct Unit {
    std::string version, information;
};
struct NotForThisUnit {
    std::string unit_text, file_text, hint;
};
std::string Warning(const NotForThisUnit& text) {
    return kWarning + "The file is not for this UNIT:\r\nUNIT Ver: " + text.unit_text +
           "\r\nFILE Ver: " + text.file_text + "\r\nPlease select the file which include \"" +
           text.hint + "\" words\r\n";
}

// A file of each family, a unit it was built for, one it was not, and what the check logs.
struct CheckCase {
    Family family;
    std::size_t marker_offset;
    std::vector<std::pair<std::size_t, std::string>> description_block;
    Unit its_unit, other_unit;
    std::string description_log;
    NotForThisUnit warning;  // for the other unit
    std::size_t range_first, range_last;
};

const std::string kPad(18, '-');
// clang-format off
const CheckCase kCases[] = {
    {Family::kM3Ascii, 0x2000,
     {{0x2000, "$M2.10 R3360-M3"}, {0x2013, "20160301"}, {0x201D, "R3M3A01"}},
     {"2.10 R3360 M3", "INFO:0000 R3M3A01 tail"}, {"2.11 R3360 M3", "INFO:0000 R3NEC02 tail"},
     "$M2.10 R3360-M3\r\n20160301\r\n", {"2.11 R3360 M3", "2.10 R3360-M3", "R3NEC02_"},
     0x00000, 0x1FFFF},
    {Family::kNecAscii, 0x2000,
     {{0x2000, "$N2.05 R3360-NEC"}, {0x2013, "20150707"}, {0x201D, "R3NEC02"}},
     {"2.05 R3360 NEC", "INFO:0000 R3NEC02 tail"}, {"2.07 R3360 NEC", "INFO:0000 R3M3A01 tail"},
     "$N2.05 R3360-NEC\r\n20150707\r\n", {"2.07 R3360 NEC", "2.05 R3360-NEC", "R3M3A01_"},
     0x00000, 0x1FFFF},
    {Family::kStm8Ascii, 0x8100,
     {{0x8100, "$S1.20 R3360-STM8"}, {0x8120, "20150101"}, {0x812A, "R3STM08"}},
     {"1.20 R3360 STM8", "INFO:0000 R3STM08 tail"}, {"1.20 R3360 STM8", "INFO:0000 R3STM09 tail"},
     "$S1.20 R3360-STM8\r\n20150101\r\n", {"1.20 R3360 STM8", "1.20 R3360-STM8", "R3STM09_"},
     0x08000, 0x27FFF},
    {Family::kM3Frame, 0x1F60F,
     {{0x1F600, "J5M3A-BOOT-2016V1.23"}},
     {"J5M3A0123456789A2.00", ""}, {"J5NEC0123456789A2.01", ""},
     "J5M3A-BOOT-2016V1.23\r\n", {"J5NECV2.01", "J5M3AV1.23", "J5NEC_"},
     0x00000, 0x1FFFF},
    {Family::kNecFrame, 0x2000,
     {{0x2000, "$N3.01 J5-NEC"}, {0x2018, "J5NEC01\r"}},
     {"", "I:2.07" + kPad + "J5NEC01\rtail"}, {"", "I:2.09" + kPad + "J5NEC01Xtail"},  // the 8th byte differs
     "$N3.01 J5-NEC\r\n", {"J5NEC01V2.09", "J5NEC01V3.01", "J5NEC01_"},
     0x00000, 0x1FFFF},
    {Family::kStm8Frame, 0x8100,
     {{0x8100, "$SJ5ST81.05 build"}},
     {"", "I:J5ST82.11" + kPad + "J5STM8Atail"}, {"", "I:J5ST92.12" + kPad + "J5STM8Btail"},
     "$SJ5ST81.05 build\r\n", {"J5ST9V2.12", "J5ST8V1.05", "J5STM8B_"},
     0x08000, 0x27FFF},
};
// clang-format on

void Prepare(ProcedureBench& bench, const CheckCase& test, const Unit& unit) {
    for (const auto& [offset, bytes] : test.description_block) {
        bench.Put(offset, bytes);
    }
    bench.SetReplies(unit.version, unit.information);
}

TEST(ProcedureCheckFile, WithoutTheMarkerOnlyTheNoDescriptionLine) {
    enum Variant { kZeroImage, kBlockWithoutMarker, kNoImage };
    for (const auto& test : kCases) {
        for (const Variant variant : {kZeroImage, kBlockWithoutMarker, kNoImage}) {
            SCOPED_TRACE(std::string(NameOf(test.family)) + " variant " + std::to_string(variant));
            ProcedureBench bench;
            if (variant == kBlockWithoutMarker) {
                Prepare(bench, test, test.its_unit);
                bench.image[test.marker_offset] = 0;
            }
            bench.state.file_checksum_valid = true;  // from an earlier file
            const auto* image = variant == kNoImage ? nullptr : bench.image.data();
            EXPECT_EQ(bench.Link(test.family).CheckFile(image), 0);
            EXPECT_EQ(bench.capture.log(), kNoDescription);
            EXPECT_FALSE(bench.state.file_checksum_valid);
            EXPECT_EQ(bench.state.check_verdict, FileVerdict::kNoDescription);
        }
    }
}

TEST(ProcedureCheckFile, DescriptionThenReadyWarningOrSlaveLine) {
    for (const auto& test : kCases) {
        SCOPED_TRACE(NameOf(test.family));
        {  // The unit the file is for; the checksum is that of the description bytes alone.
            ProcedureBench bench;
            Prepare(bench, test, test.its_unit);
            EXPECT_EQ(bench.Link(test.family).CheckFile(bench.image.data()), 0);
            EXPECT_EQ(bench.capture.log(), test.description_log + kReady);
            EXPECT_TRUE(bench.state.file_checksum_valid);
            EXPECT_EQ(bench.state.check_verdict, FileVerdict::kConfirmed);
            std::uint32_t description_sum = 0;
            for (const auto& [offset, bytes] : test.description_block) {
                for (unsigned char byte : bytes) {
                    description_sum += byte;
                }
            }
            EXPECT_EQ(bench.state.file_checksum, description_sum);
        }
        {  // Another unit: warned about, the checksum still computed.
            ProcedureBench bench;
            Prepare(bench, test, test.other_unit);
            EXPECT_EQ(bench.Link(test.family).CheckFile(bench.image.data()), 0);
            EXPECT_EQ(bench.capture.log(), test.description_log + Warning(test.warning));
            EXPECT_TRUE(bench.state.file_checksum_valid);
            EXPECT_EQ(bench.state.check_verdict, FileVerdict::kNotForThisUnit);
        }
        {  // The slave: no identity, no checksum, and for NEC no version rule (unit V4).
            ProcedureBench bench;
            Prepare(bench, test, {"4" + test.other_unit.version, test.other_unit.information});
            bench.state.slave = true;
            EXPECT_EQ(bench.Link(test.family).CheckFile(bench.image.data()), 0);
            EXPECT_EQ(bench.capture.log(), test.description_log + kReadySlave);
            EXPECT_FALSE(bench.state.file_checksum_valid);
            EXPECT_EQ(bench.state.check_verdict, FileVerdict::kSlaveNotChecked);
        }
    }
}

TEST(ProcedureCheckFile, ChecksumCoversExactlyTheProgrammedRange) {
    for (const auto& test : kCases) {
        SCOPED_TRACE(NameOf(test.family));
        ProcedureBench bench;
        for (std::size_t i = 0; i < bench.image.size(); ++i) {
            bench.image[i] = static_cast<std::uint8_t>(0x80 + (i * 31 >> 3));
        }
        Prepare(bench, test, test.its_unit);
        bench.Link(test.family).CheckFile(bench.image.data());
        const auto first = bench.image.begin() + static_cast<std::ptrdiff_t>(test.range_first);
        const auto last = bench.image.begin() + static_cast<std::ptrdiff_t>(test.range_last);
        EXPECT_EQ(bench.state.file_checksum, std::accumulate(first, last + 1, 0u));
        // The bytes just outside play no part.
        if (test.range_first > 0) {
            first[-1] ^= 0xFF;
        }
        last[1] ^= 0xFF;
        const std::uint32_t before = bench.state.file_checksum;
        bench.Link(test.family).CheckFile(bench.image.data());
        EXPECT_EQ(bench.state.file_checksum, before);
    }
}

TEST(ProcedureCheckFile, M3FrameUnitTextStopsAtTheCarriageReturn) {
    ProcedureBench bench;
    bench.Put(0x1F600, "J5M3A-BOOT-2016V1.23");
    bench.SetReplies("J5\rxx0123456789A2.005", "");  // CR third, "2.00" from position 16
    bench.links.m3_frame.CheckFile(bench.image.data());
    EXPECT_EQ(bench.capture.log(),
              "J5M3A-BOOT-2016V1.23\r\n" + Warning({"J5V2.00", "J5M3AV1.23", "J5_"}));
}

TEST(ProcedureCheckFile, TextsEndAtTheEndOfTheirBuffers) {
    {  // All 50 bytes of the version text, no terminator.
        ProcedureBench bench;
        bench.Put(0x2000, "$M2.10");
        bench.SetReplies(std::string(50, 'v'), "INFO:0000 R3NEC02");
        bench.links.m3_ascii.CheckFile(bench.image.data());
        EXPECT_EQ(bench.capture.log(),
                  "$M2.10\r\n\r\n" + Warning({std::string(50, 'v'), "2.10", "R3NEC02_"}));
    }
    {  // Description texts without a zero before the image ends.
        ProcedureBench bench;
        std::fill(bench.image.begin() + 0x2000, bench.image.end(), 'a');
        bench.image[0x2000] = '$';
        bench.SetReplies("", "INFO:0000 R3M3A01");
        bench.links.m3_ascii.CheckFile(bench.image.data());
        const auto as_far_as_the_end = [](std::size_t from) {
            return std::string(kImageSize - from, 'a');
        };
        std::string want = "$";
        want += as_far_as_the_end(0x2001) + "\r\n";
        want += as_far_as_the_end(0x2013) + "\r\n";
        want += Warning({"", as_far_as_the_end(0x2002), "R3M3A01_"});
        EXPECT_EQ(bench.capture.log(), want);
    }
}

// The unit's major version (first character of its version text) against the file's (image
// byte 0x2002), on either side of '4'.
TEST(ProcedureNecVersionRule, DecidesTheCheckAndTheEntryCommand) {
    struct Case {
        char unit_major, file_major;
        int result;
        std::string log_after_description;
        std::string entry_command;  // of a following Program
    };
    const Case cases[] = {
        {'4', '3', 1, kUnderV4, "$wPAI\r\n"},       {'3', '4', 1, kNotForUint, "$wIAP\r\n"},
        {'4', '5', 0, kReady, "$wPAI\r\n"},         {'3', '3', 0, kReady, "$wIAP\r\n"},
        {'\xB4', '4', 1, kNotForUint, "$wIAP\r\n"},  // bytes from 0x80 on count as below '4'
        {'9', '\xB4', 1, kUnderV4, "$wPAI\r\n"},
    };
    for (const auto& test : cases) {
        const std::string file_text = std::string("$N") + test.file_major + ".05";
        SCOPED_TRACE(test.unit_major + file_text);
        ProcedureBench bench;
        bench.Put(0x2000, file_text);
        bench.Put(0x201D, "R3NEC02");
        bench.SetReplies(std::string(1, test.unit_major) + ".00 R3360", "INFO:0000 R3NEC02");
        EXPECT_EQ(bench.links.nec_ascii.CheckFile(bench.image.data()), test.result);
        EXPECT_EQ(bench.capture.log(),
                  Latin1ToUtf8(file_text + "\r\n\r\n") + test.log_after_description);
        EXPECT_EQ(bench.state.file_checksum_valid, test.result == 0);
        EXPECT_EQ(bench.state.check_verdict,
                  test.result == 0 ? FileVerdict::kConfirmed : FileVerdict::kRefusedByVersionRule);

        BootLoaderStub stub;
        bench.Attach(stub);
        EXPECT_EQ(bench.links.nec_ascii.Program(bench.image.data()), 0);
        const auto written = bench.port.written_bytes();
        EXPECT_EQ(std::string(written.begin(), written.begin() + 7), test.entry_command);
    }
}

TEST(ProcedureNecVersionRule, FlagFollowsTheLastCheckAndNeverTheSlave) {
    struct Case {
        const char* name;
        bool second_file_described, second_check_slave, program_slave;
        std::string entry_command;
    };
    const Case cases[] = {
        {"then a file without description", false, false, false, "$wIAP\r\n"},
        {"then a check for the slave", true, true, false, "$wIAP\r\n"},
        {"then programming of the slave", true, false, true, "$wIAS\r\n"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        ProcedureBench bench;
        bench.Put(0x2000, "$N4.05");
        bench.SetReplies("4.00 R3360", "");
        bench.links.nec_ascii.CheckFile(bench.image.data());
        ASSERT_TRUE(bench.links.nec_ascii.v4_unit());
        bench.image[0x2000] = test.second_file_described ? '$' : 0;
        bench.state.slave = test.second_check_slave;
        bench.links.nec_ascii.CheckFile(bench.image.data());
        bench.state.slave = test.program_slave;
        BootLoaderStub stub;
        bench.Attach(stub);
        EXPECT_EQ(bench.links.nec_ascii.Program(bench.image.data()), 0);
        const auto written = bench.port.written_bytes();
        EXPECT_EQ(std::string(written.begin(), written.begin() + 7), test.entry_command);
    }
}

}  // namespace
}  // namespace velkor
