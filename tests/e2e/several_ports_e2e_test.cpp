// velkor-flash on several simulated units at once, each a velkor-sim of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/e2e_programs.h"
#include "support/temp_dir.h"

namespace velkor {
namespace {

using testing::kFlashProgram;
using testing::kSimProgram;
using testing::ProgramRun;
using testing::RunToEnd;
using testing::Simulator;

// Three units; the third hangs its line up mid-way. Each unit's boot loader sends its own
// status letter, so a log line that strays into another unit's log file shows.
TEST(WriteSeveralUnits, OneFailingUnitLeavesTheOthersUpdatedAndVerified) {
    testing::TempDir dir;
    const std::string file = (dir.path() / "j5-m3.hex").string();
    ASSERT_EQ(
        RunToEnd({kSimProgram, "firmware", "--model", "j5", "--family", "m3", "-o", file}).status,
        0);
    const std::vector<std::string> letters = {"A", "B", "C"};
    std::vector<std::unique_ptr<Simulator>> units;
    std::vector<std::string> args = {kFlashProgram, "write",
                                     "--model",     "j5",
                                     "--mcu",       "m3",
                                     "--log",       (dir.path() / "logs").string(),
                                     "--record",    (dir.path() / "records.jsonl").string(),
                                     "--operator",  "Ann",
                                     "--json"};
    for (const std::string& letter : letters) {
        std::vector<std::string> options = {"--model",         "j5",  "--family", "m3",
                                            "--record-status", letter};
        if (letter == "C") {
            options.insert(options.end(), {"--drop-after-records", "40"});
        }
        units.push_back(std::make_unique<Simulator>(options));
        ASSERT_FALSE(units.back()->device().empty());
        args.insert(args.end(), {"--port", units.back()->device()});
    }
    args.push_back(file);

    const ProgramRun run = RunToEnd(args);
    EXPECT_EQ(run.status, 5) << run.err;
    const nlohmann::json summary = nlohmann::json::parse(run.out);
    ASSERT_EQ(summary.size(), 3u) << run.out;
    std::istringstream records(testing::TempDir::Read(dir.path() / "records.jsonl"));
    std::size_t record_lines = 0;
    for (std::string line; std::getline(records, line); ++record_lines) {
        EXPECT_TRUE(nlohmann::json::accept(line)) << line;
    }
    EXPECT_EQ(record_lines, 3u);

    for (std::size_t i = 0; i < letters.size(); ++i) {
        const std::string& device = units[i]->device();
        const bool fails = letters[i] == "C";
        EXPECT_EQ(summary[i]["port"], device);
        EXPECT_EQ(summary[i]["device"], device);
        EXPECT_EQ(summary[i]["operator"], "Ann");
        EXPECT_EQ(summary[i]["result"], fails ? "program_failed" : "updated") << summary[i];
        nlohmann::json failure = summary[i]["failure"];
        if (fails) {
            EXPECT_LT(failure["waited_ms"].get<int>(), 10000) << "the hang-up, not the time-out";
            failure.erase("waited_ms");
        }
        EXPECT_EQ(failure, fails ? nlohmann::json::parse(R"({"record":41,"of":512,)"
                                                         R"("address":"0x02800",)"
                                                         R"("cause":"hung_up","reply":null})")
                                 : nlohmann::json())
            << summary[i];
        std::string log_name = device.substr(5);  // "pts/3": "pts-3.log"
        std::replace(log_name.begin(), log_name.end(), '/', '-');
        const std::string log = testing::TempDir::Read(dir.path() / "logs" / (log_name + ".log"));
        EXPECT_TRUE(std::regex_search(log, testing::kLogHeader)) << log;
        EXPECT_EQ(log.find(fails ? "Verify:" : "Update fail"), std::string::npos) << log;
        // C hangs up before a tenth of the stream.
        const bool streamed =
            run.err.find(device + ": Progress: 100%  131,072/131,072 B  ") != std::string::npos;
        EXPECT_EQ(streamed, !fails) << run.err;
        EXPECT_NE(log.find(fails ? "Update fail" : "Verify: MCU checksum"), std::string::npos)
            << log;
        for (const std::string& other : letters) {
            EXPECT_EQ(log.find(other + "."),
                      other == letters[i] ? log.find(other + ".") : std::string::npos)
                << device << " holds the status letter of unit " << other;
        }
        EXPECT_NE(log.find(letters[i] + "."), std::string::npos) << log;
    }
    // Without a terminal, every line on standard error carries its port.
    std::istringstream err(run.err);
    for (std::string line; std::getline(err, line);) {
        EXPECT_TRUE(line.starts_with("/dev/")) << line;
    }
}

TEST(WriteSeveralUnits, TwoNamesOfOneDeviceAreRefusedBeforeAByteIsSent) {
    testing::TempDir dir;
    Simulator sim({"--model", "j5", "-v"});
    ASSERT_FALSE(sim.device().empty());
    const std::string link = (dir.path() / "unit").string();
    std::filesystem::create_symlink(sim.device(), link);
    const std::string file = dir.Write("firmware.hex", ":00000001FF\n");
    const ProgramRun run = RunToEnd({kFlashProgram, "write", "--port", sim.device(), "--port", link,
                                     "--model", "j5", "--mcu", "m3", file});
    EXPECT_EQ(run.status, 64);
    EXPECT_NE(run.err.find("are the same device"), std::string::npos) << run.err;
    ASSERT_EQ(sim.Stop(), 0);
    EXPECT_EQ(sim.err().find("host -> MCU"), std::string::npos) << sim.err();
}

// Two port names that would share one log file name, and a unit whose version text would
// steer the terminal: each unit gets a log file of its own, and the summary shows the text
// escaped.
TEST(ConfigSeveralUnits, PortsThatLookAlikeKeepTheirOwnLogsAndUnitTextIsEscaped) {
    testing::TempDir dir;
    Simulator hostile({"--model", "j5", "--family", "stm8", "--version-text",
                       R"(\x1b[2J\x9b\r\nUpdate complete)"});
    Simulator plain({"--model", "j5", "--family", "stm8"});
    ASSERT_FALSE(hostile.device().empty() || plain.device().empty());
    const std::string slash = (dir.path() / "x" / "a" / "b").string();
    const std::string dash = (dir.path() / "x" / "a-b").string();
    std::filesystem::create_directories(dir.path() / "x" / "a");
    std::filesystem::create_symlink(hostile.device(), slash);
    std::filesystem::create_symlink(plain.device(), dash);
    const std::filesystem::path logs = dir.path() / "logs";
    const ProgramRun run = RunToEnd({kFlashProgram, "config", "--model", "j5", "--mcu", "stm8",
                                     "--port", slash, "--port", dash, "--log", logs.string()});
    EXPECT_EQ(run.status, 0) << run.err;

    std::vector<std::string> contents;
    for (const auto& entry : std::filesystem::directory_iterator(logs)) {
        contents.push_back(testing::TempDir::Read(entry.path()));
    }
    ASSERT_EQ(contents.size(), 2u) << "a log file each";
    if (contents[0].find("\\x") == std::string::npos) {
        std::swap(contents[0], contents[1]);
    }
    EXPECT_NE(contents[0].find(R"(\x1b[2J\x9b\r\nUpdate complete)"), std::string::npos)
        << contents[0];
    EXPECT_EQ(contents[0].find("\nUpdate complete"), std::string::npos) << contents[0];
    EXPECT_NE(contents[1].find("J5ST8-H8--N8N_V_3.10"), std::string::npos) << contents[1];
    EXPECT_EQ(contents[1].find("\\x"), std::string::npos) << contents[1];

    std::istringstream summary(run.out);
    std::string line;
    while (std::getline(summary, line) && !line.starts_with(slash + " ")) {
    }
    EXPECT_NE(line.find(R"(  \x1b[2J\x9b\r\nUpdate complete  )"), std::string::npos) << run.out;
    for (const char* raw : {"\x1B", "\xC2\x9B", "\r"}) {
        EXPECT_EQ(run.out.find(raw), std::string::npos) << run.out;
        EXPECT_EQ(run.err.find(raw), std::string::npos) << run.err;
    }
}

}  // namespace
}  // namespace velkor
