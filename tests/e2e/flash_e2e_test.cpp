// velkor-flash write and config against velkor-sim on a pseudo-terminal, in real time, with a
// firmware file from velkor-sim's generator: the update a technician runs, end to end.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <numeric>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "devices/port_holders.h"
#include "e2e/e2e_programs.h"
#include "image/image_for_family.h"
#include "support/capture_sink.h"
#include "support/records.h"
#include "support/run_process.h"
#include "support/scoped_variable.h"
#include "support/temp_dir.h"

namespace velkor {
namespace {

using namespace std::chrono_literals;
using testing::kFlashProgram;
using testing::kSimProgram;
using testing::ProgramRun;
using testing::RunToEnd;
using testing::Simulator;
using testing::WithoutProgressLines;

struct UpdateCase {
    const char* name;
    const char* model;
    const char* family;
    McuType mcu;
    std::size_t range_begin, range_end;
    // The generator's file made again by srec_cat from its bytes, as SRecord writes records
    // of a file without a start address: data, then their count (S5), and no S9.
    bool through_srec_cat = false;
};

void PrintTo(const UpdateCase& test, std::ostream* out) {
    *out << test.name;
}

// Writes the records of `file` anew with srec_cat, from the bytes of [begin, end).
void RemakeWithSrecCat(const std::string& file, std::size_t begin, std::size_t end) {
    const std::string binary = file + ".bin";
    const std::string offset = std::to_string(begin);
    ASSERT_EQ(
        testing::RunProcess({"srec_cat", file, "-motorola", "-crop", offset, std::to_string(end),
                             "-offset", "-" + offset, "-o", binary, "-binary"}),
        0);
    ASSERT_EQ(testing::RunProcess(
                  {"srec_cat", binary, "-binary", "-offset", offset, "-o", file, "-motorola"}),
              0);
    const std::string records = testing::TempDir::Read(file);
    ASSERT_EQ(records.find("\nS9"), std::string::npos);
    ASSERT_NE(records.find("\nS5"), std::string::npos);
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
    if (test.through_srec_cat) {
        if (!testing::HaveProgram("srec_cat")) {
            GTEST_SKIP() << "srec_cat (Debian package srecord) is not installed";
        }
        RemakeWithSrecCat(file, test.range_begin, test.range_end);
    }

    const std::string records = (dir.path() / "records.jsonl").string();
    const std::string log = (dir.path() / "update.log").string();
    Simulator sim({"--model", test.model, "--family", test.family, "--flash-out", flash});
    ASSERT_FALSE(sim.device().empty()) << sim.err();
    const std::vector<std::string> check = {kFlashProgram, "check",    "--port", sim.device(),
                                            "--model",     test.model, "--mcu",  test.family,
                                            "--json",      file};
    const ProgramRun before = RunToEnd(check);
    EXPECT_EQ(before.status, 0) << before.err;
    EXPECT_NE(before.err.find("Confirmed: the file is for this unit.\nNot up to date: MCU "
                              "checksum 01FE0000, file checksum "),
              std::string::npos)
        << before.err;
    EXPECT_EQ(Json::parse(before.out)["command"], "check");
    EXPECT_EQ(Json::parse(before.out)["result"], "confirmed");
    const ProgramRun write = RunToEnd({kFlashProgram, "write", "--port", sim.device(), "--model",
                                       test.model, "--mcu", test.family, "--record", records,
                                       "--log", log, "--json", "--station", "Bench 7", file});
    EXPECT_EQ(write.status, 0) << write.err;
    EXPECT_EQ(write.err.find("Press \"Update\""), std::string::npos) << write.err;
    EXPECT_NE(write.err.find("Update complete, MCU will auto reset\n"), std::string::npos);
    const std::string file_checksum = made.out.substr(0, 8);
    EXPECT_TRUE(std::regex_search(
        write.err, std::regex("Verify: MCU checksum " + file_checksum +
                              R"( matches the file\nProgrammed (512|1,024) records \(131,072 )"
                              R"(bytes\) in [0-9]+\.[0-9] s \([0-9]+\.[0-9] KB/s\)\n$)")))
        << write.err;
    const ProgramRun after = RunToEnd(check);
    EXPECT_EQ(after.status, 0) << after.err;
    EXPECT_TRUE(
        after.err.ends_with("Up to date: MCU checksum " + file_checksum + " matches the file\n"))
        << after.err;
    EXPECT_EQ(Json::parse(after.out)["result"], "up_to_date");
    ASSERT_EQ(sim.Stop(), 0) << sim.err();

    // Not a terminal: a whole line each tenth of the stream, the status characters held on
    // their own line meanwhile; the log file has no progress lines.
    const std::regex progress_line(
        R"(Progress: (\d+)%  [\d,]+/([\d,]+) B  \d+\.\d s  \d+\.\d KB/s)");
    std::istringstream err(write.err);
    std::vector<int> percents;
    std::string total;
    for (std::string line; std::getline(err, line);) {
        std::smatch found;
        if (std::regex_match(line, found, progress_line)) {
            percents.push_back(std::stoi(found[1]));
            total = found[2];
        } else {
            EXPECT_FALSE(line.starts_with("Progress")) << line;
        }
    }
    ASSERT_EQ(percents.size(), 10u) << write.err;
    EXPECT_EQ(percents.front(), 10);
    EXPECT_NE(write.err.find("Progress: 100%  " + total + "/" + total + " B"), std::string::npos);
    EXPECT_TRUE(std::regex_search(WithoutProgressLines(write.err),
                                  std::regex("\nUpdate Start:\n\\.+\nUpdate complete")))
        << write.err;
    EXPECT_EQ(testing::LogFileBody(testing::TempDir::Read(log)), WithoutProgressLines(write.err));

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
    EXPECT_EQ(record["station"], "Bench 7");
    EXPECT_EQ(record["operator"], nullptr);
    EXPECT_EQ(record["port"], sim.device());
    EXPECT_EQ(record["device"], sim.device());
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
    EXPECT_EQ(record["failure"], nullptr);

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

INSTANTIATE_TEST_SUITE_P(
    BothModels, WriteAgainstSimulator,
    ::testing::Values(UpdateCase{"r3360", "r3360", "stm8", kMcuTypeStm8, 0x8000, 0x28000},
                      UpdateCase{"j5", "j5", "m3", kMcuTypeM3, 0x0000, 0x20000},
                      UpdateCase{"r3360_srec_cat", "r3360", "stm8", kMcuTypeStm8, 0x8000, 0x28000,
                                 true}),
    [](const auto& test) { return std::string(test.param.name); });

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
    const ProgramRun check = RunToEnd(
        {kFlashProgram, "check", "--port", sim.device(), "--model", "r3360", "--mcu", "nec", file});
    EXPECT_EQ(check.status, 4) << check.err;
    EXPECT_TRUE(
        check.err.ends_with("Not confirmed: the check did not confirm this file for this unit.\n"))
        << check.err;
    ASSERT_EQ(sim.Stop(), 0);
    const std::string saved = testing::TempDir::Read(flash);
    EXPECT_EQ(saved, std::string(kImageSize, '\xFF')) << "the flash was not touched";
}

TEST(WriteOfAFileForAnotherUnit, QuietShowsOnlyTheErrorsAndTheLogFileKeepsTheWholeLog) {
    testing::TempDir dir;
    const std::string file = (dir.path() / "other.hex").string();
    const std::string log = (dir.path() / "run\x1b[2J.log").string();
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
    const ProgramRun again = RunToEnd(with({"-q", "--log", log, file}));
    EXPECT_EQ(quiet.status, 4) << quiet.err;
    EXPECT_TRUE(
        quiet.err.starts_with("======== WARNING ========\nThe file is not for this UNIT:\n"))
        << quiet.err;
    EXPECT_TRUE(
        quiet.err.ends_with("Not updated: the check did not confirm this file for this "
                            "unit.\nGive --force to program it anyway.\n"))
        << quiet.err;
    EXPECT_EQ(quiet.err.find("File Checksum"), std::string::npos) << quiet.err;
    // Each run with its header, the command line's control characters escaped.
    const std::string logged = testing::TempDir::Read(log);
    EXPECT_EQ(testing::LogFileBody(logged), plain.err + plain.err);
    std::smatch header;
    ASSERT_TRUE(std::regex_search(logged, header, testing::kLogHeader)) << logged;
    EXPECT_EQ(header.position(), 0);
    EXPECT_TRUE(header.str().ends_with(" write --port " + sim.device() +
                                       " --model r3360 --mcu nec -q --log '" + dir.path().string() +
                                       "/run\\x1b[2J.log' " + file + " ===\n"))
        << header.str();
    EXPECT_EQ(sim.Stop(), 0);
}

// Command lines velkor-flash refuses, each with its status and the reason it gives.
struct Refused {
    std::vector<std::string> args;  // after the program; {DEV} {FW} {DIR} filled in
    int status;
    std::string says;  // {DEV} {FW} {DIR} filled in
};

std::string Filled(std::string text, const std::string& device, const std::string& file,
                   const std::string& dir) {
    for (const auto& [mark, value] :
         {std::pair{"{DEV}", device}, std::pair{"{FW}", file}, std::pair{"{DIR}", dir}}) {
        for (auto at = text.find(mark); at != std::string::npos; at = text.find(mark, at)) {
            text.replace(at, std::string(mark).size(), value);
            at += value.size();
        }
    }
    return text;
}

std::vector<std::string> Command(const Refused& test, const std::string& device,
                                 const std::string& file, const std::string& dir) {
    std::vector<std::string> args = {kFlashProgram};
    for (const std::string& arg : test.args) {
        args.push_back(Filled(arg, device, file, dir));
    }
    return args;
}

// What the unit must never see: a log or record line down its line, the firmware file
// spoiled, a port another program reads.
TEST(RefusedCommandLines, SayWhyBeforeAByteIsSent) {
    testing::TempDir dir;
    const std::string folder = dir.path().string();
    const std::string file = (dir.path() / "firmware.hex").string();
    ASSERT_EQ(RunToEnd({kSimProgram, "firmware", "--model", "r3360", "--family", "nec", "-o", file})
                  .status,
              0);
    const std::string firmware = testing::TempDir::Read(file);
    dir.Write("stm8.s19", "S00600004844521B\n");
    std::filesystem::create_symlink(dir.path() / "victim.bashrc", dir.path() / "planted.log");
    const std::string large = dir.Write("large.hex", firmware);
    ASSERT_EQ(::truncate(large.c_str(), 64 * 1024 * 1024 + 1), 0);
    Simulator sim({"--model", "r3360", "-v"});
    ASSERT_FALSE(sim.device().empty()) << sim.err();
    dir.Write("bench.txt", "# the bench\n" + sim.device() + "\n");
    const std::vector<std::string> write = {"write", "--port", "{DEV}", "--model",
                                            "r3360", "--mcu",  "nec",   "-q"};
    auto with = [&write](std::vector<std::string> more) {
        more.insert(more.begin(), write.begin(), write.end());
        more.push_back("{FW}");
        return more;
    };
    // A program whose name would steer a terminal holds the device open.
    const std::string holder_program = (dir.path() / "hold\x1b[2J").string();
    std::filesystem::copy_file("/bin/sleep", holder_program);
    const std::vector<Refused> cases = {
        {with({"--log", "{FW}"}), 64,
         "velkor-flash: --log {FW} is the firmware file; name another file\n"},
        {with({"--log", "{DEV}"}), 64,
         "velkor-flash: --log {DEV} is the serial device; name another file\n"},
        {with({"--log", "{DIR}/none/run.log"}), 64, "cannot open the log file"},
        // A link someone put in the log's place in a shared folder is never followed.
        {with({"--log", "{DIR}/planted.log"}), 64,
         "velkor-flash: cannot open the log file {DIR}/planted.log: it is a symbolic link\n"},
        {with({"--record", "{FW}"}), 64,
         "velkor-flash: --record {FW} is the firmware file; name another file\n"},
        {with({"--record", "{DEV}"}), 64,
         "velkor-flash: --record {DEV} is the serial device; name another file\n"},
        {with({"--record", "{DIR}/both", "--log", "{DIR}/both"}), 64,
         "velkor-flash: --record {DIR}/both is the log file; name another file\n"},
        {{"write", "--ports-from", "{DIR}/bench.txt", "--model", "r3360", "--mcu", "nec",
          "--record", "{DIR}/bench.txt", "{FW}"},
         64,
         "velkor-flash: --record {DIR}/bench.txt is the port list; name another file\n"},
        {{"config", "--port", "{DEV}", "--model", "r3360", "--mcu", "nec", "--log", "{DEV}"},
         64,
         "is the serial device"},
        {{"query", "--port", "{DEV}", "--model", "r3360", "--record", "{DEV}"},
         64,
         "velkor-flash: --record {DEV} is the serial device; name another file\n"},
        {with({"--operator", ""}), 64, "velkor-flash: --operator must not be empty\n"},
        {{"image", "--mcu", "nec", "{FW}", "-o", "{DIR}/image", "--log", "{DIR}/image"},
         64,
         "velkor-flash: --log {DIR}/image is the image file; name another file\n"},
        // The shell appends standard output to the firmware file itself.
        {{"image", "--mcu", "nec", "{FW}", ">>{FW}"},
         64,
         "velkor-flash: standard output is the firmware file itself; name another file with "
         "-o\n"},
        // The option parser's refusals, in words that name the option; the settings file's
        // numbers are no names.
        {{"write", "--port", "{DEV}", "--model", "j6", "--mcu", "nec", "{FW}"},
         64,
         "velkor-flash: --model must be r3360 or j5\nSee 'velkor-flash write --help'.\n"},
        {{"query", "--port", "{DEV}", "--model", "1"}, 64, "--model must be r3360 or j5\n"},
        {{"image", "--mcu", "3", "{FW}", "-o", "{DIR}/image"},
         64,
         "velkor-flash: --mcu must be stm8, nec or m3\n"},
        {with({"--verify-timeout", "0"}), 64,
         "velkor-flash: --verify-timeout must be a whole number of seconds from 1 to 3600\n"},
        {{"config", "--port", "{DEV}", "--modle", "j5", "--mcu", "nec"},
         64,
         "velkor-flash: unknown option --modle\n"},
        {{"config", "--port", "{DEV}", "--model", "j5", "--mcu", "nec", "--tv", "DVB"},
         64,
         "velkor-flash: --tv must be one of NULL, BOX,"},
        {{"writ"}, 64, "velkor-flash: unknown command writ; the commands are image, query,"},
        {{"query", "--port", "{DEV}", "--model", "r3360"},
         2,
         "Can not open serial port {DEV}: held by hold\\x1b[2J (pid "},
        {with({}), 2, "held by hold\\x1b[2J (pid "},
        {{"config", "--port", "{DEV}", "--model", "r3360", "--mcu", "nec"},
         2,
         "), which would take the MCU's replies; close that program and try again, or give "
         "--force-port\n"},
        // A file that will not do is said before the port is opened.
        {{"station", "--model", "r3360", "--mcu", "nec", "--port", "{DEV}", "--port", "{DIR}/none",
          "{DIR}/none.hex"},
         3,
         "velkor-flash: cannot open {DIR}/none.hex: no such file\n"},
        {{"station", "--model", "r3360", "--mcu", "nec", "--port", "{DEV}", "--http", "::1:80",
          "{FW}"},
         64,
         "velkor-flash: --http ::1:80: an IPv6 address goes in brackets: [::1]:8080\n"},
        {{"write", "--port", "{DEV}", "--model", "r3360", "--mcu", "nec", "{DIR}/none.hex"},
         3,
         "ERROR:can not open the file\nvelkor-flash: cannot open {DIR}/none.hex: no such file\n"},
        {{"check", "--port", "{DEV}", "--model", "r3360", "--mcu", "nec", "{DIR}"},
         3,
         "velkor-flash: cannot open {DIR}: it is a folder\n"},
        {{"write", "--port", "{DEV}", "--model", "r3360", "--mcu", "stm8", "{FW}"},
         3,
         "ERROR:the file format is not correct\nvelkor-flash: {FW} is Intel HEX, but stm8 "
         "takes S-records\n"},
        {{"check", "--port", "{DEV}", "--model", "r3360", "--mcu", "m3", "{DIR}/stm8.s19"},
         3,
         "velkor-flash: {DIR}/stm8.s19 is S-records, but m3 takes Intel HEX\n"},
        {{"check", "--port", "{DEV}", "--model", "r3360", "--mcu", "nec", "{DIR}/large.hex"},
         3,
         "ERROR:the file is too large\nvelkor-flash: {DIR}/large.hex is too large for a firmware "
         "file (over 64 MiB)\n"},
    };
    for (const Refused& test : cases) {
        const std::vector<std::string> args = Command(test, sim.device(), file, folder);
        std::string shown;
        for (const std::string& arg : test.args) {
            shown += arg + " ";
        }
        SCOPED_TRACE(shown);
        std::optional<testing::ChildProcess> holder;
        if (test.status == 2) {
            holder.emplace(std::vector<std::string>{"/bin/sh", "-c", "exec \"$0\" 600 <\"$1\"",
                                                    holder_program, sim.device()});
            // Held once the program has the device among its open files.
            for (int wait = 0; wait < 1000 && !HeldBy(sim.device()).starts_with("hold"); ++wait) {
                std::this_thread::sleep_for(10ms);
            }
        }
        ProgramRun run;
        if (args.back().starts_with(">>")) {
            std::vector<std::string> shell = {"/bin/sh", "-c", "f=$1; shift; exec \"$@\" >>\"$f\"",
                                              "sh", args.back().substr(2)};
            for (const std::string& arg :
                 testing::ProgramCommand(std::vector<std::string>(args.begin(), args.end() - 1))) {
                shell.push_back(arg);
            }
            run = RunToEnd(shell);
        } else {
            run = RunToEnd(args);
        }
        EXPECT_EQ(run.status, test.status) << run.err;
        EXPECT_NE(run.err.find(Filled(test.says, sim.device(), file, folder)), std::string::npos)
            << run.err;
    }
    EXPECT_EQ(testing::TempDir::Read(file), firmware) << "the firmware file is untouched";
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "both"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "victim.bashrc")) << "made through a link";
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "image"));
    ASSERT_EQ(sim.Stop(), 0);
    EXPECT_EQ(sim.err().find("host -> MCU"), std::string::npos) << sim.err();
}

// Every command's help fits the terminal and lists its exit statuses, 64 among them, and
// examples; a value every run needs is marked.
TEST(CommandHelp, FitsTheTerminalAndListsTheExitStatuses) {
    const testing::ScopedVariable columns("COLUMNS", "60");
    for (const char* command : {"image", "query", "write", "config", "ports"}) {
        SCOPED_TRACE(command);
        const ProgramRun run = RunToEnd({kFlashProgram, command, "--help"});
        ASSERT_EQ(run.status, 0) << run.err;
        std::istringstream lines(run.out);
        for (std::string line; std::getline(lines, line);) {
            if (!line.starts_with("  velkor-flash ") && !line.starts_with("Usage:")) {
                EXPECT_LE(line.size(), 60u) << line;
            }
        }
        EXPECT_NE(run.out.find("\nExit status:\n  0 "), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("\n  64 "), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("\nExamples:\n  velkor-flash "), std::string::npos) << run.out;
        if (std::string_view(command) != "ports") {
            EXPECT_NE(run.out.find(" REQUIRED "), std::string::npos) << run.out;
        }
    }
}

// A file cut short or without data is never programmed, whatever the check would say.
TEST(RefusedCommandLines, AFileCutShortOrWithoutDataIsNotProgrammed) {
    testing::TempDir dir;
    const std::string whole = (dir.path() / "whole.hex").string();
    ASSERT_EQ(
        RunToEnd({kSimProgram, "firmware", "--model", "j5", "--family", "m3", "-o", whole}).status,
        0);
    std::string content = testing::TempDir::Read(whole);
    const auto end = content.rfind(":00000001FF");
    ASSERT_NE(end, std::string::npos);
    const std::string cut = dir.Write("cut.hex", content.substr(0, end));
    const std::string empty = dir.Write("empty.hex", ":00000001FF\r\n");
    const std::string flash = (dir.path() / "flash.bin").string();
    Simulator sim({"--model", "j5", "--family", "m3", "--flash-out", flash});
    ASSERT_FALSE(sim.device().empty()) << sim.err();
    struct Case {
        std::string file;
        const char* mcu;
        const char* warning;
        const char* says;
    };
    const char* const kCutShort =
        "WARNING:the file does not end with its end record; it may be cut short\n";
    std::vector<Case> cases{
        {cut, "m3", kCutShort, " does not end with its end record; it may be cut short\n"},
        {empty, "m3", "WARNING:the file holds no data\n", " holds no data\n"}};
    // S-records as SRecord writes them end with the count of their data records: without it,
    // or with a count that disagrees, records may be missing. The file is checked before the
    // unit is touched, so the j5 unit does for stm8 here.
    if (testing::HaveProgram("srec_cat")) {
        const std::string binary = dir.Write("code.bin", std::string(300, 'x'));
        const std::string whole_s19 = (dir.path() / "whole.s19").string();
        ASSERT_EQ(testing::RunProcess({"srec_cat", binary, "-binary", "-offset", "0x8000", "-o",
                                       whole_s19, "-motorola"}),
                  0);
        std::string records = testing::TempDir::Read(whole_s19);
        const auto count = records.find("S5");
        ASSERT_NE(count, std::string::npos) << records;
        records.erase(count);
        for (const auto& [name, tail] :
             {std::pair{"no-count.s19", std::string()},
              std::pair{"wrong-count.s19", testing::SRecord('5', 99, {}) + "\n"}}) {
            cases.push_back({dir.Write(name, records + tail), "stm8", kCutShort,
                             " does not end with its end record; it may be cut short\n"});
        }
    }
    for (const Case& test : cases) {
        SCOPED_TRACE(test.file);
        const ProgramRun run = RunToEnd({kFlashProgram, "write", "--port", sim.device(), "--model",
                                         "j5", "--mcu", test.mcu, "--force", "--json", test.file});
        EXPECT_EQ(run.status, 3) << run.err;
        EXPECT_EQ(run.err, test.warning + ("velkor-flash: " + test.file) + test.says);
        EXPECT_EQ(Json::parse(run.out)["result"], "no_file");
    }
    ASSERT_EQ(sim.Stop(), 0);
    EXPECT_EQ(testing::TempDir::Read(flash), std::string(kImageSize, '\xFF'))
        << "the flash was not touched";
}

// A unit left in its boot loader answers no query: write says how to finish it, and with
// --recover programs it without the file check and verifies it.
TEST(WriteToAUnitInItsBootLoader, FailsWithAdviceAndRecoversWithRecover) {
    testing::TempDir dir;
    const std::string file = (dir.path() / "j5-m3.hex").string();
    const ProgramRun made =
        RunToEnd({kSimProgram, "firmware", "--model", "j5", "--family", "m3", "-o", file});
    ASSERT_EQ(made.status, 0);
    const std::string flash = (dir.path() / "flash.bin").string();
    Simulator sim(
        {"--model", "j5", "--family", "m3", "--start-in-boot-loader", "--flash-out", flash});
    ASSERT_FALSE(sim.device().empty()) << sim.err();
    const std::vector<std::string> write = {kFlashProgram, "write", "--port", sim.device(),
                                            "--model",     "j5",    "--mcu",  "m3",
                                            "--json",      file};
    const ProgramRun plain = RunToEnd(write);
    EXPECT_EQ(plain.status, 1) << plain.err;
    EXPECT_TRUE(plain.err.ends_with(
        "If an interrupted update left the unit in its boot loader, run again with --recover.\n"))
        << plain.err;

    std::vector<std::string> recover = write;
    recover.insert(recover.end() - 1, "--recover");
    const ProgramRun recovered = RunToEnd(recover);
    EXPECT_EQ(recovered.status, 0) << recovered.err;
    EXPECT_NE(recovered.err.find("No answer: taking the unit to be in its boot loader; "
                                 "programming " +
                                 file + " without the file check\n"),
              std::string::npos)
        << recovered.err;
    const Json record = Json::parse(recovered.out);
    EXPECT_EQ(record["recovered"], true);
    EXPECT_EQ(record["check"], "not_checked");
    EXPECT_EQ(record["verify"], "matches");
    EXPECT_EQ(record["result"], "updated");
    ASSERT_EQ(sim.Stop(), 0);
    testing::CaptureSink capture;
    auto image = MakeImageReader(kMcuTypeM3, capture.report);
    ASSERT_EQ(image->Load(file), kLoadOk);
    EXPECT_TRUE(
        std::equal(image->Buffer(), image->Buffer() + 0x20000,
                   reinterpret_cast<const std::uint8_t*>(testing::TempDir::Read(flash).data())));
}

// Waits until the log `file` holds `text`; false when it did not within the run time-out.
bool WaitForText(const std::string& file, const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + testing::kRunTimeout;
    while (testing::LogFileBody(testing::TempDir::Read(file)).find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// A technician's Ctrl-C, a service manager's SIGTERM, a closed terminal's SIGHUP: the update
// stops between records, says where the unit is left, and its record says so.
TEST(WriteStoppedBySignal, TheFirstStopsBetweenRecordsTheSecondEndsAtOnce) {
    testing::TempDir dir;
    const std::string file = (dir.path() / "j5-m3.hex").string();
    ASSERT_EQ(
        RunToEnd({kSimProgram, "firmware", "--model", "j5", "--family", "m3", "-o", file}).status,
        0);
    // The unit's own line speed: programming takes half a minute.
    Simulator sim({"--model", "j5", "--family", "m3", "--baud", "38400"});
    ASSERT_FALSE(sim.device().empty()) << sim.err();
    const std::string records = (dir.path() / "records.jsonl").string();
    const std::string log = (dir.path() / "update.log").string();
    testing::ChildProcess write(testing::ProgramCommand(
        {kFlashProgram, "write", "--port", sim.device(), "--model", "j5", "--mcu", "m3", "--record",
         records, "--log", log, "--json", file}));
    ASSERT_TRUE(WaitForText(log, "Update Start:\n.")) << "the first record is done";
    write.Signal(SIGTERM);
    EXPECT_EQ(write.Wait(testing::kRunTimeout), 128 + SIGTERM) << write.err();
    EXPECT_TRUE(write.err().ends_with(
        "\nInterrupted: the unit is left in its boot loader; run the update again with "
        "--recover to finish it\n"))
        << write.err();
    EXPECT_EQ(write.err().find("Update fail"), std::string::npos) << write.err();
    EXPECT_EQ(testing::LogFileBody(testing::TempDir::Read(log)), WithoutProgressLines(write.err()));
    const std::vector<Json> lines = RecordLines(records);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["result"], "interrupted");
    EXPECT_EQ(lines[0]["exit_code"], 128 + SIGTERM);
    EXPECT_EQ(Json::parse(write.out()), lines[0]);

    // Now a second run whose log nobody reads: its standard error fills and blocks, so the
    // first signal cannot finish; the second ends it at once.
    Simulator fresh({"--model", "j5", "--family", "m3", "--baud", "38400"});
    ASSERT_FALSE(fresh.device().empty()) << fresh.err();
    const std::string unread = (dir.path() / "unread").string();
    ASSERT_EQ(::mkfifo(unread.c_str(), 0600), 0);
    const int reader = ::open(unread.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    const std::string stuck_records = (dir.path() / "stuck.jsonl").string();
    std::vector<std::string> stuck = {"/bin/sh", "-c", "f=$1; shift; exec \"$@\" 2>\"$f\"", "sh",
                                      unread};
    for (const std::string& arg :
         testing::ProgramCommand({kFlashProgram, "write", "--port", fresh.device(), "--model", "j5",
                                  "--mcu", "m3", "--trace", "--record", stuck_records, file})) {
        stuck.push_back(arg);
    }
    testing::ChildProcess blocked(stuck);
    // Full once more than half of it is taken and nothing more comes for a second, although
    // the trace has a line for every record.
    const int capacity = ::fcntl(reader, F_GETPIPE_SZ);
    int waiting = 0;
    for (int poll = 0, unchanged = 0; poll < 6000 && unchanged < 100; ++poll) {
        std::this_thread::sleep_for(10ms);
        const int before = waiting;
        ::ioctl(reader, FIONREAD, &waiting);
        unchanged = waiting > capacity / 2 && waiting == before ? unchanged + 1 : 0;
    }
    ASSERT_GT(waiting, capacity / 2) << "the trace fills the pipe";
    blocked.Signal(SIGTERM);
    EXPECT_FALSE(blocked.EndsWithin(500ms)) << "the first signal waits for a safe point";
    blocked.Signal(SIGTERM);
    EXPECT_EQ(blocked.Wait(testing::kRunTimeout), 128 + SIGTERM);
    EXPECT_EQ(testing::TempDir::Read(stuck_records), "") << "ended at once, with nothing more";
    ::close(reader);
}

// A log read through a pipe by a program that goes away (| head, a closed ssh session): the
// update goes on, and the log file and the record get everything.
TEST(WriteWithAClosedPipe, UpdatesAndRecordsAsEver) {
    testing::TempDir dir;
    const std::string file = (dir.path() / "j5-m3.hex").string();
    ASSERT_EQ(
        RunToEnd({kSimProgram, "firmware", "--model", "j5", "--family", "m3", "-o", file}).status,
        0);
    Simulator sim({"--model", "j5", "--family", "m3"});
    ASSERT_FALSE(sim.device().empty()) << sim.err();
    const std::string records = (dir.path() / "records.jsonl").string();
    const std::string log = (dir.path() / "update.log").string();
    const std::string status = (dir.path() / "status").string();
    std::vector<std::string> piped = {
        "/bin/sh", "-c", "f=$1; shift; { \"$@\"; echo $? >\"$f\"; } 2>&1 | head -c1 >/dev/null",
        "sh", status};
    for (const std::string& arg : testing::ProgramCommand(
             {kFlashProgram, "write", "--port", sim.device(), "--model", "j5", "--mcu", "m3",
              "--record", records, "--log", log, "--json", file})) {
        piped.push_back(arg);
    }
    ASSERT_EQ(RunToEnd(piped).status, 0);
    EXPECT_EQ(testing::TempDir::Read(status), "0\n");
    EXPECT_NE(testing::TempDir::Read(log).find("Verify: MCU checksum "), std::string::npos)
        << testing::TempDir::Read(log);
    const std::vector<Json> lines = RecordLines(records);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["result"], "updated");
    EXPECT_EQ(sim.Stop(), 0);
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
