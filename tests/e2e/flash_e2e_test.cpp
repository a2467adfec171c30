// velkor-flash write and config against velkor-sim on a pseudo-terminal, in real time, with a
// firmware file from velkor-sim's generator: the update a technician runs, end to end.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <numeric>
#include <string>
#include <vector>

#include "e2e/e2e_programs.h"
#include "image/image_for_family.h"
#include "support/capture_sink.h"
#include "support/temp_dir.h"

namespace velkor {
namespace {

using namespace std::chrono_literals;
using testing::kFlashProgram;
using testing::kSimProgram;
using testing::ProgramRun;
using testing::RunToEnd;
using testing::Simulator;

struct UpdateCase {
    const char* model;
    const char* family;
    McuType mcu;
    std::size_t range_begin, range_end;
};

void PrintTo(const UpdateCase& test, std::ostream* out) {
    *out << test.model << "/" << test.family;
}

class WriteAgainstSimulator : public ::testing::TestWithParam<UpdateCase> {};

TEST_P(WriteAgainstSimulator, FlashSavedByTheSimulatorHoldsTheFileOverTheFamilyRange) {
    const UpdateCase& test = GetParam();
    testing::TempDir dir;
    const std::string file = (dir.path() / "firmware").string();
    const std::string flash = (dir.path() / "flash.bin").string();
    const ProgramRun made = RunToEnd({kSimProgram, "firmware", "--model", test.model, "--family",
                                      test.family, "--seed", "5", "-o", file});
    ASSERT_EQ(made.status, 0) << made.err;

    Simulator sim({"--model", test.model, "--family", test.family, "--flash-out", flash});
    ASSERT_FALSE(sim.device().empty()) << sim.err();
    const ProgramRun write = RunToEnd({kFlashProgram, "write", "--port", sim.device(), "--model",
                                       test.model, "--mcu", test.family, file});
    EXPECT_EQ(write.status, 0) << write.err;
    EXPECT_NE(write.err.find("Press \"Update\" to start update.\n"), std::string::npos)
        << write.err;
    EXPECT_TRUE(write.err.ends_with("Update complete, MCU will auto reset\n")) << write.err;
    ASSERT_EQ(sim.Stop(), 0) << sim.err();

    testing::CaptureSink capture;
    auto image = MakeImageReader(test.mcu, capture.report);
    ASSERT_EQ(image->Load(file), kLoadOk);
    const std::string saved = testing::TempDir::Read(flash);
    ASSERT_EQ(saved.size(), kImageSize);
    const auto* expected = image->Buffer();
    EXPECT_TRUE(std::equal(expected + test.range_begin, expected + test.range_end,
                           reinterpret_cast<const std::uint8_t*>(saved.data()) + test.range_begin));
    // The generator printed what the unit's checksum now is.
    const std::uint32_t sum =
        std::accumulate(expected + test.range_begin, expected + test.range_end, std::uint32_t{0});
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X\n", sum);
    EXPECT_EQ(made.out, hex);
}

INSTANTIATE_TEST_SUITE_P(BothModels, WriteAgainstSimulator,
                         ::testing::Values(UpdateCase{"r3360", "stm8", kMcuTypeStm8, 0x8000,
                                                      0x28000},
                                           UpdateCase{"j5", "m3", kMcuTypeM3, 0x0000, 0x20000}),
                         [](const auto& test) { return std::string(test.param.model); });

TEST(WriteOfAFileForAnotherUnit, StopsBeforeProgrammingWithoutForce) {
    testing::TempDir dir;
    const std::string file = (dir.path() / "other.hex").string();
    const std::string flash = (dir.path() / "flash.bin").string();
    ASSERT_EQ(RunToEnd({kSimProgram, "firmware", "--model", "r3360", "--family", "nec",
                        "--mismatch", "-o", file})
                  .status,
              0);
    Simulator sim({"--model", "r3360", "--family", "nec", "--flash-out", flash});
    ASSERT_FALSE(sim.device().empty()) << sim.err();
    const ProgramRun write = RunToEnd(
        {kFlashProgram, "write", "--port", sim.device(), "--model", "r3360", "--mcu", "nec", file});
    EXPECT_EQ(write.status, 4) << write.err;
    EXPECT_NE(write.err.find("The file is not for this UNIT:"), std::string::npos);
    EXPECT_NE(write.err.find("Give --force to program it anyway."), std::string::npos);
    ASSERT_EQ(sim.Stop(), 0);
    const std::string saved = testing::TempDir::Read(flash);
    EXPECT_EQ(saved, std::string(kImageSize, '\xFF')) << "the flash was not touched";
}

TEST(WriteOfAFileForAnotherUnit, QuietShowsOnlyTheErrorsAndTheLogFileKeepsTheWholeLog) {
    testing::TempDir dir;
    const std::string file = (dir.path() / "other.hex").string();
    const std::string log = (dir.path() / "run.log").string();
    ASSERT_EQ(RunToEnd({kSimProgram, "firmware", "--model", "r3360", "--family", "nec",
                        "--mismatch", "-o", file})
                  .status,
              0);
    Simulator sim({"--model", "r3360", "--family", "nec"});
    ASSERT_FALSE(sim.device().empty()) << sim.err();
    const std::vector<std::string> write = {kFlashProgram, "write", "--port", sim.device(),
                                            "--model",     "r3360", "--mcu",  "nec"};
    auto with = [&write](std::vector<std::string> more) {
        more.insert(more.begin(), write.begin(), write.end());
        return more;
    };
    const ProgramRun plain = RunToEnd(with({file}));
    ASSERT_EQ(plain.status, 4) << plain.err;
    const ProgramRun quiet = RunToEnd(with({"-q", "--log", log, file}));
    EXPECT_EQ(quiet.status, 4) << quiet.err;
    EXPECT_TRUE(
        quiet.err.starts_with("======== WARNING ========\nThe file is not for this UNIT:\n"))
        << quiet.err;
    EXPECT_TRUE(
        quiet.err.ends_with("Not updated: the check did not confirm this file for this "
                            "unit.\nGive --force to program it anyway.\n"))
        << quiet.err;
    EXPECT_EQ(quiet.err.find("File Checksum"), std::string::npos) << quiet.err;
    EXPECT_EQ(testing::TempDir::Read(log), plain.err);
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(WriteWithALogFileItCannotUse, SaysWhyAndStopsBeforeSendingAByte) {
    testing::TempDir dir;
    const std::string file = dir.Write("firmware.hex", ":00000001FF\n");
    Simulator sim({"--model", "r3360", "-v"});
    ASSERT_FALSE(sim.device().empty()) << sim.err();
    struct Case {
        std::string log;
        const char* says;
    };
    for (const Case& test :
         {Case{file, "is the firmware file; name another file"},
          Case{sim.device(), "is the serial device; name another file"},
          Case{(dir.path() / "none" / "run.log").string(), "cannot open the log file"}}) {
        const ProgramRun run = RunToEnd({kFlashProgram, "write", "--port", sim.device(), "--model",
                                         "r3360", "--mcu", "nec", "-q", "--log", test.log, file});
        EXPECT_EQ(run.status, 64) << run.err;
        EXPECT_NE(run.err.find(test.says), std::string::npos) << run.err;
    }
    EXPECT_EQ(testing::TempDir::Read(file), ":00000001FF\n") << "the firmware file is untouched";
    ASSERT_EQ(sim.Stop(), 0);
    EXPECT_EQ(sim.err().find("host -> MCU"), std::string::npos) << sim.err();
}

TEST(ConfigAgainstSimulator, ChangedOptionsAreWhatTheUnitReportsNext) {
    Simulator sim({"--model", "j5", "--family", "stm8"});
    ASSERT_FALSE(sim.device().empty()) << sim.err();
    const std::vector<std::string> base = {kFlashProgram, "config", "--port", sim.device(),
                                           "--model",     "j5",     "--mcu",  "stm8"};
    auto with = [&base](std::vector<std::string> more) {
        more.insert(more.begin(), base.begin(), base.end());
        return more;
    };
    const ProgramRun written =
        RunToEnd(with({"--tv", "DVBT", "--hbrake", "on", "--tft", "INN 7\" NEW"}));
    EXPECT_EQ(written.status, 0) << written.err;
    EXPECT_TRUE(written.err.ends_with("config complete, MCU will auto reset\n")) << written.err;

    const ProgramRun shown = RunToEnd(with({}));
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(shown.out,
              "TV: DVBT\nHBRAKE: ENABLE\nTFT: INN 7\" NEW\nDVD: NULL\nRADIO: OSPREN\n"
              "AUDIO: TDA7418\n");
    EXPECT_EQ(sim.Stop(), 0);
}

}  // namespace
}  // namespace velkor
