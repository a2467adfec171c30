// velkor-flash write and config against velkor-sim on a pseudo-terminal, in real time, with a
// firmware file from velkor-sim's generator: the update a technician runs, end to end.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <numeric>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
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

using Json = nlohmann::json;

// The lines of a record file, each parsed; a line that is not whole JSON fails the test.
std::vector<Json> RecordLines(const std::string& file) {
    std::vector<Json> lines;
    std::istringstream in(testing::TempDir::Read(file));
    for (std::string line; std::getline(in, line);) {
        lines.push_back(Json::parse(line));
    }
    return lines;
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

    const std::string records = (dir.path() / "records.jsonl").string();
    Simulator sim({"--model", test.model, "--family", test.family, "--flash-out", flash});
    ASSERT_FALSE(sim.device().empty()) << sim.err();
    const ProgramRun write =
        RunToEnd({kFlashProgram, "write", "--port", sim.device(), "--model", test.model, "--mcu",
                  test.family, "--record", records, "--json", file});
    EXPECT_EQ(write.status, 0) << write.err;
    EXPECT_NE(write.err.find("Press \"Update\" to start update.\n"), std::string::npos)
        << write.err;
    EXPECT_NE(write.err.find("Update complete, MCU will auto reset\n"), std::string::npos);
    const std::string file_checksum = made.out.substr(0, 8);
    EXPECT_TRUE(
        write.err.ends_with("Verify: MCU checksum " + file_checksum + " matches the file\n"))
        << write.err;
    ASSERT_EQ(sim.Stop(), 0) << sim.err();

    // The record line and the --json object are the same whole object.
    const std::vector<Json> lines = RecordLines(records);
    ASSERT_EQ(lines.size(), 1u);
    const Json& record = lines[0];
    EXPECT_EQ(Json::parse(write.out), record);
    EXPECT_TRUE(
        std::regex_match(record["time"].get<std::string>(),
                         std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)")))
        << record["time"];
    EXPECT_GT(record["duration_ms"].get<int>(), 0);
    EXPECT_FALSE(record["host"].get<std::string>().empty());
    EXPECT_EQ(record["port"], sim.device());
    EXPECT_EQ(record["target"], "main");
    EXPECT_EQ(record["mcu_checksum_after"], file_checksum);
    EXPECT_EQ(record["file_checksum"], file_checksum);
    EXPECT_NE(record["mcu_checksum_before"], file_checksum);
    EXPECT_EQ(record["file_path"], std::filesystem::absolute(file).string());
    EXPECT_EQ(record["file_size"], std::filesystem::file_size(file));
    EXPECT_EQ(record["file_sha256"].get<std::string>().size(), 64u);
    EXPECT_EQ(record["check"], "confirmed");
    EXPECT_EQ(record["forced"], false);
    EXPECT_EQ(record["verify"], "matches");
    EXPECT_EQ(record["mcu_version_after"], record["mcu_version_before"]);
    EXPECT_FALSE(record["mcu_information_before"].get<std::string>().empty());
    EXPECT_EQ(record["result"], "updated");
    EXPECT_EQ(record["exit_code"], 0);

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

struct VerifyFault {
    const char* model;
    const char* family;
    std::vector<std::string> fault;
    const char* failure;  // the line the verify ends with
    const char* verdict;
};

void PrintTo(const VerifyFault& test, std::ostream* out) {
    *out << test.fault.front();
}

class WriteToAFaultyUnit : public ::testing::TestWithParam<VerifyFault> {};

// Every record acknowledged and "Update complete" logged, yet the unit does not hold the file.
TEST_P(WriteToAFaultyUnit, FailsTheVerifyWithExitSix) {
    const VerifyFault& test = GetParam();
    testing::TempDir dir;
    const std::string file = (dir.path() / "firmware").string();
    ASSERT_EQ(RunToEnd({kSimProgram, "firmware", "--model", test.model, "--family", test.family,
                        "-o", file})
                  .status,
              0);
    std::vector<std::string> options = {"--model", test.model, "--family", test.family};
    options.insert(options.end(), test.fault.begin(), test.fault.end());
    Simulator sim(options);
    ASSERT_FALSE(sim.device().empty()) << sim.err();
    const ProgramRun write =
        RunToEnd({kFlashProgram, "write", "--port", sim.device(), "--model", test.model, "--mcu",
                  test.family, "--verify-timeout", "2", "--json", file});
    EXPECT_EQ(write.status, 6) << write.err;
    EXPECT_NE(write.err.find("Update complete, MCU will auto reset\n"), std::string::npos);
    EXPECT_NE(write.err.find(test.failure), std::string::npos) << write.err;
    const Json record = Json::parse(write.out);
    EXPECT_EQ(record["verify"], test.verdict);
    EXPECT_EQ(record["result"], "verify_failed");
    EXPECT_EQ(record["exit_code"], 6);
    EXPECT_EQ(sim.Stop(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    BootLoaderFaults, WriteToAFaultyUnit,
    ::testing::Values(VerifyFault{"j5",
                                  "m3",
                                  {"--corrupt-record", "3"},
                                  "Verify FAILED: MCU "
                                  "checksum ",
                                  "mismatch"},
                      VerifyFault{"r3360",
                                  "nec",
                                  {"--no-return"},
                                  "Verify FAILED: the MCU did not come back within 2 s\n",
                                  "no_return"}),
    [](const auto& test) { return std::string(test.param.verdict); });

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

TEST(ConfigRecords, TwoRunsAtOnceAppendTwoWholeLines) {
    testing::TempDir dir;
    const std::string records = (dir.path() / "records.jsonl").string();
    Simulator first({"--model", "j5", "--family", "stm8"});
    // A version text byte that is no ASCII: the record must still be valid UTF-8.
    Simulator second(
        {"--model", "r3360", "--family", "nec", "--version-text", R"(3.10_NE_N_TV-_R3360\xE9)"});
    ASSERT_FALSE(first.device().empty() || second.device().empty());
    ProgramRun runs[2];
    std::thread other([&] {
        runs[1] = RunToEnd({kFlashProgram, "config", "--port", second.device(), "--model", "r3360",
                            "--mcu", "nec", "--record", records});
    });
    runs[0] = RunToEnd({kFlashProgram, "config", "--port", first.device(), "--model", "j5", "--mcu",
                        "stm8", "--tv", "DVBT", "--record", records, "--json"});
    other.join();
    EXPECT_EQ(runs[0].status, 0) << runs[0].err;
    EXPECT_EQ(runs[1].status, 0) << runs[1].err;
    EXPECT_NE(runs[1].out.find("TV: "), std::string::npos) << "without --json, the options";

    const std::vector<Json> lines = RecordLines(records);
    ASSERT_EQ(lines.size(), 2u);
    const Json& written = lines[0]["port"] == first.device() ? lines[0] : lines[1];
    const Json& shown = lines[0]["port"] == first.device() ? lines[1] : lines[0];
    EXPECT_EQ(Json::parse(runs[0].out), written) << "--json prints the object instead";
    EXPECT_EQ(written["command"], "config");
    EXPECT_EQ(written["result"], "configured");
    EXPECT_EQ(written["options_read"]["TV"], "NULL");
    EXPECT_EQ(written["options_written"]["TV"], "DVBT");
    EXPECT_EQ(written["options_written"]["TFT"], written["options_read"]["TFT"]);
    EXPECT_EQ(shown["port"], second.device());
    EXPECT_EQ(shown["result"], "shown");
    EXPECT_EQ(shown["mcu_version_before"], "3.10_NE_N_TV-_R3360\u00E9");
    EXPECT_TRUE(shown["options_written"].is_null());
    EXPECT_EQ(shown["options_read"].size(), 2u) << shown;  // what an R3360 NEC unit reports
}

TEST(ConfigRecords, ARecordFileThatCannotBeOpenedStopsTheRunBeforeTheUnitIsTouched) {
    testing::TempDir dir;
    const std::string records = (dir.path() / "no-such-folder" / "records.jsonl").string();
    Simulator sim({"--model", "j5", "--family", "stm8", "-v"});
    ASSERT_FALSE(sim.device().empty());
    const ProgramRun run = RunToEnd({kFlashProgram, "config", "--port", sim.device(), "--model",
                                     "j5", "--mcu", "stm8", "--tv", "DVBT", "--record", records});
    EXPECT_EQ(run.status, 7);
    EXPECT_EQ(run.err, "velkor-flash: cannot open the record file " + records +
                           ": No such file or directory; nothing was done\n");
    EXPECT_EQ(sim.Stop(), 0);
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
