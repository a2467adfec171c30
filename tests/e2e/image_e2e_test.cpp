// velkor-flash image as a script uses it: its binary against the one srec_cat makes of the
// same file, and its answer to a broken file.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "e2e/e2e_programs.h"
#include "image/firmware_image.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace velkor {
namespace {

using testing::kFlashProgram;
using testing::ProgramRun;

ProgramRun RunImage(const std::string& mcu, const std::string& file, const std::string& out) {
    return testing::RunToEnd({kFlashProgram, "image", "--mcu", mcu, file, "-o", out});
}

struct FormatCase {
    const char* mcu;
    std::vector<std::string> srec_cat_format;
};

TEST(ImageCommand, WritesTheBinarySrecCatMakesOfTheSameFile) {
    if (!testing::HaveProgram("srec_cat")) {
        GTEST_SKIP() << "srec_cat (Debian package srecord) is not installed";
    }
    testing::TempDir dir;
    std::mt19937 random(7);
    std::string data(0x30000, '\0');
    for (auto& byte : data) {
        byte = static_cast<char>(random());
    }
    const std::string source = dir.Write("source.bin", data);
    const FormatCase cases[] = {{"nec", {"-intel", "-address-length=4"}},
                                {"m3", {"-intel", "-address-length=3"}},
                                {"stm8", {"-motorola", "-address-length=3"}}};
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.mcu);
        const std::string records = (dir.path() / "fw").string();
        std::vector<std::string> make = {"srec_cat", source,    "-binary", "-crop", "0x100",
                                         "0x9000",   "0x18000", "0x2F000", "-o",    records};
        make.insert(make.end(), c.srec_cat_format.begin(), c.srec_cat_format.end());
        ASSERT_EQ(testing::RunProcess(make), 0);
        const std::string reference = (dir.path() / "reference.bin").string();
        ASSERT_EQ(
            testing::RunProcess({"srec_cat", records, c.srec_cat_format[0], "-fill", "0x00", "0",
                                 std::to_string(kImageSize), "-o", reference, "-binary"}),
            0);
        const std::string out = (dir.path() / "out.bin").string();
        const ProgramRun run = RunImage(c.mcu, records, out);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(testing::TempDir::Read(out) == testing::TempDir::Read(reference));
    }
}

TEST(ImageCommand, BrokenFileGivesResultThreeAndTheFormatLine) {
    testing::TempDir dir;
    const std::string file = dir.Write("bad.hex", ":0380000001020377\r\n:00000001FE\r\n");
    const std::string out = (dir.path() / "out.bin").string();
    const ProgramRun run = RunImage("m3", file, out);
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.err, "ERROR:the file format is not correct\n");
    EXPECT_FALSE(std::filesystem::exists(out)) << "nothing is written for a broken file";
}

TEST(ImageCommand, MissingFileGivesResultTwo) {
    testing::TempDir dir;
    const ProgramRun run =
        RunImage("stm8", (dir.path() / "none.s19").string(), (dir.path() / "out").string());
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "ERROR:can not open the file\n");
}

TEST(ImageCommand, AnImageOverItsOwnFirmwareFileIsRefused) {
    testing::TempDir dir;
    const std::string file = dir.Write("fw.hex", ":00000001FF\n");
    const ProgramRun run = RunImage("m3", file, file);
    EXPECT_EQ(run.status, 64);
    EXPECT_EQ(testing::TempDir::Read(file), ":00000001FF\n");
}

}  // namespace
}  // namespace velkor
