// The firmware generator: its files load with the tool's readers byte for byte, and the file
// check finds them made for the simulated unit, or on purpose not.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "image/image_for_family.h"
#include "sim/firmware_file.h"
#include "support/temp_dir.h"
#include "support/unit_bench.h"

namespace velkor {
namespace {

using sim::DefaultSimConfig;
using sim::SimConfig;
using testing::kUnits;
using testing::UnitBench;

std::size_t LongestLine(const std::string& text) {
    std::istringstream lines(text);
    std::size_t longest = 0;
    for (std::string line; std::getline(lines, line);) {
        longest = std::max(longest, line.size());
    }
    return longest;
}

TEST(FirmwareGenerator, FilesLoadWithTheFamilysReaderByteForByte) {
    testing::TempDir dir;
    for (const auto& unit : kUnits) {
        SCOPED_TRACE(unit.name);
        const auto image = testing::FirmwareFor(DefaultSimConfig(unit.model, unit.family));
        const sim::FlashRange range = *sim::ProgrammedRange(unit.family);
        const std::string file = (dir.path() / unit.name).string();
        std::string error;
        ASSERT_TRUE(sim::WriteFirmwareFile(file, unit.family, image, range, error)) << error;
        const std::string text = testing::TempDir::Read(file);
        EXPECT_EQ(text.front(), unit.family == kMcuTypeStm8 ? 'S' : ':');
        EXPECT_LE(LongestLine(text), 80u) << "well inside the readers' 255 characters";

        testing::CaptureSink capture;
        auto reader = MakeImageReader(unit.family, capture.report);
        ASSERT_EQ(reader->Load(file), kLoadOk) << capture.log();
        EXPECT_TRUE(std::equal(image.begin(), image.end(), reader->Buffer()));
    }
}

TEST(FirmwareGenerator, SeedNamesTheCodeBytesAndLeavesTheDescription) {
    const SimConfig config = DefaultSimConfig(kAppTypeR3360, kMcuTypeM3);
    const auto first = testing::FirmwareFor(config, false, 1);
    EXPECT_EQ(testing::FirmwareFor(config, false, 1), first);
    const auto other = testing::FirmwareFor(config, false, 2);
    EXPECT_NE(testing::RangeOf(other, {0, 0x2000}), testing::RangeOf(first, {0, 0x2000}));
    EXPECT_EQ(testing::RangeOf(other, {0x2000, 0x2024}), testing::RangeOf(first, {0x2000, 0x2024}));
}

TEST(FirmwareGenerator, MismatchedFileDrawsTheWarningThatNamesTheUnitsIdentity) {
    const char* hints[] = {"R3STM01_", "R3NEC01_", "R3M3A01_", "J5STM08_", "J5NEC01_", "J5M3A_"};
    for (std::size_t i = 0; i < std::size(kUnits); ++i) {
        const auto& unit = kUnits[i];
        SCOPED_TRACE(unit.name);
        const SimConfig config = DefaultSimConfig(unit.model, unit.family);
        const auto image = testing::FirmwareFor(config, true);
        UnitBench bench(config);
        bench.Identify();
        EXPECT_EQ(bench.family().CheckFile(image.data()), 0);
        const std::string log = bench.capture.log();
        EXPECT_NE(log.find("======== WARNING ========\r\nThe file is not for this UNIT:\r\n"),
                  std::string::npos)
            << log;
        EXPECT_NE(log.find(std::string("include \"") + hints[i] + "\" words"), std::string::npos)
            << log;
        EXPECT_TRUE(bench.state.file_checksum_valid);
    }
}

TEST(FirmwareGenerator, StatedVersionMeetsTheNecVersionRule) {
    struct Case {
        const char* unit_version;
        const char* file_version;
        int result;
        const char* line;
    };
    const Case cases[] = {
        {"4.02_NE_N_TV-_R3360", "3.50", 1, "The file version under V4"},
        {"3.10_NE_N_TV-_R3360", "4.00", 1, "The file version is not for this UINT"},
        {"4.02_NE_N_TV-_R3360", "4.10", 0, "Press \"Update\" to start update."},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.file_version);
        SimConfig config = DefaultSimConfig(kAppTypeR3360, kMcuTypeNec);
        config.version_text = test.unit_version;
        sim::FirmwareIdentity identity{kAppTypeR3360,       kMcuTypeNec,
                                       config.version_text, config.information_text,
                                       test.file_version,   false};
        const auto image = sim::BuildFirmwareImage(identity, 3);
        UnitBench bench(config);
        bench.Identify();
        EXPECT_EQ(bench.family().CheckFile(image.data()), test.result);
        EXPECT_NE(bench.capture.log().find(test.line), std::string::npos) << bench.capture.log();
    }
}

}  // namespace
}  // namespace velkor
