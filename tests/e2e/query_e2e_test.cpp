// velkor-flash query against velkor-sim on a pseudo-terminal, in real time, as a technician
// runs them.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <numeric>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/e2e_programs.h"
#include "link/ascii_link.h"
#include "link/link_context.h"
#include "link/mcu_link.h"
#include "platform/clock.h"
#include "platform/posix_serial_port.h"
#include "platform/text.h"
#include "support/capture_sink.h"
#include "support/temp_dir.h"

namespace velkor {
namespace {

using namespace std::chrono_literals;
using testing::kFlashProgram;
using testing::kRunTimeout;
using testing::ProgramRun;
using testing::RunToEnd;
using testing::Simulator;

ProgramRun RunQuery(const std::string& device, const std::string& model) {
    return RunToEnd({kFlashProgram, "query", "--port", device, "--model", model});
}

std::string Hex8(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X\n", value);
    return text;
}

struct ModelRun {
    const char* model;
    const char* baud;  // the model's own line speed, so that replies take their real time
};

// Names the case in test listings.
void PrintTo(const ModelRun& run, std::ostream* out) {
    *out << run.model;
}

class QueryAgainstSimulator : public ::testing::TestWithParam<ModelRun> {};

TEST_P(QueryAgainstSimulator, PrintsTheLogAndTheChecksumOfTheSimulatedFlash) {
    const ModelRun& param = GetParam();
    testing::TempDir dir;
    std::string firmware(0x30000, '\0');
    for (std::size_t i = 0; i < firmware.size(); ++i) {
        firmware[i] = static_cast<char>((i * 13) ^ (i >> 8));
    }
    const std::string flash_file = dir.Write("flash.bin", firmware);
    // 0x2000-0x2FFFF of the file, as the checksum range of an NEC or M3 unit would be.
    const std::uint32_t expected = std::accumulate(
        firmware.begin() + 0x2000, firmware.begin() + 0x30000, std::uint32_t{0},
        [](std::uint32_t sum, char ch) { return sum + static_cast<std::uint8_t>(ch); });
    for (std::uint32_t rest = expected; rest != 0; rest >>= 8) {
        ASSERT_NE(rest & 0xFF, 0x0Du) << "a CR byte would end the ASCII reply early";
    }

    Simulator sim({"--model", param.model, "--family", "m3", "--baud", param.baud, "--version-text",
                   "UNIT V4.01", "--info-text", R"(INFO 7\r\n)", "--flash-file", flash_file,
                   "--checksum-range", "0x2000-0x2FFFF", "-v"});
    ASSERT_FALSE(sim.device().empty()) << sim.process().err();

    const ProgramRun run = RunQuery(sim.device(), param.model);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, Hex8(expected));
    EXPECT_EQ(run.err,
              "======== MCU Version ========\nUNIT V4.01\n"
              "======== MCU Information ========\nINFO 7\n");

    // --json: the same facts as one object, in place of the checksum line; --record appends it.
    // The port is a link: the record names the device behind it.
    const std::filesystem::path link = dir.path() / "ttyUNIT";
    std::filesystem::create_symlink(sim.device(), link);
    const std::string records = (dir.path() / "records.jsonl").string();
    const ProgramRun json =
        RunToEnd({kFlashProgram, "query", "--port", link.string(), "--model", param.model, "--json",
                  "--record", records, "--operator", "Ann \"A.\" L\u00e9e"});
    ASSERT_EQ(json.status, 0) << json.err;
    const auto object = nlohmann::json::parse(json.out);
    EXPECT_EQ(nlohmann::json::parse(testing::TempDir::Read(records)), object);
    EXPECT_EQ(object["command"], "query");
    EXPECT_FALSE(object["tool_version"].get<std::string>().empty());
    EXPECT_EQ(object["station"], object["host"]);
    EXPECT_EQ(object["operator"], "Ann \"A.\" L\u00e9e");
    EXPECT_EQ(object["port"], link.string());
    EXPECT_EQ(object["device"], sim.device());
    EXPECT_EQ(object["device_by_id"], nullptr);
    EXPECT_EQ(object["usb_serial"], nullptr);
    EXPECT_EQ(object["mcu_checksum_before"].get<std::string>() + "\n", Hex8(expected));
    EXPECT_EQ(object["mcu_version_before"], "UNIT V4.01");
    EXPECT_EQ(object["mcu_information_before"], "INFO 7\r\n");
    EXPECT_EQ(object["result"], "ok");
    EXPECT_EQ(json.err, run.err);

    sim.process().Signal(SIGTERM);
    EXPECT_EQ(sim.process().Wait(kRunTimeout), 0);
    EXPECT_NE(sim.process().err().find("host -> MCU"), std::string::npos) << "-v logs traffic";
}

// The bytes of the traffic lines in `log` ("... host -> MCU: 24 52 0D 0A |$R..|") that go
// `direction`, in order.
std::string TrafficBytes(const std::string& log, const std::string& direction) {
    std::string bytes;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        const auto at = line.find(direction + ": ");
        if (at == std::string::npos) {
            continue;
        }
        std::istringstream fields(line.substr(at + direction.size() + 2));
        for (std::string field; fields >> field && field.front() != '|';) {
            bytes += static_cast<char>(std::stoi(field, nullptr, 16));
        }
    }
    return bytes;
}

TEST_P(QueryAgainstSimulator, TraceShowsEveryByteAndVerboseNamesEachCommand) {
    const ModelRun& param = GetParam();
    const bool r3360 = std::string(param.model) == "r3360";
    Simulator sim({"--model", param.model, "--family", "m3", "--baud", param.baud, "--version-text",
                   "UNIT V4.01", "--info-text", R"(INFO 7\r\n)", "-v"});
    ASSERT_FALSE(sim.device().empty()) << sim.process().err();
    const ProgramRun run = RunToEnd(
        {kFlashProgram, "query", "--port", sim.device(), "--model", param.model, "-v", "--trace"});
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(sim.Stop(), 0);

    const std::string sent = TrafficBytes(run.err, "host -> MCU");
    EXPECT_EQ(sent, TrafficBytes(sim.err(), "host -> MCU")) << "every byte, as the unit got it";
    const std::string version_query = r3360 ? "$R\r\n" : "\xFF\xAA\x50\x01\x5C\x0D";
    EXPECT_TRUE(sent.starts_with(version_query));
    EXPECT_NE(TrafficBytes(run.err, "MCU -> host").find("UNIT V4.01"), std::string::npos);

    // The command named, then its bytes; time stamps never go back; without the lines they
    // add, the log is the log as it always was.
    const std::regex traffic(R"( *(\d+) ms (host -> MCU|MCU -> host): .*)");
    std::istringstream lines(run.err);
    std::vector<std::string> added;
    std::string plain;
    long last_ms = 0;
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        if (std::regex_match(line, match, traffic)) {
            EXPECT_GE(std::stol(match[1]), last_ms) << line;
            last_ms = std::stol(match[1]);
            added.push_back(line);
        } else if (line.starts_with("-> ")) {
            added.push_back(line);
        } else {
            plain += line + "\n";
        }
    }
    ASSERT_GE(added.size(), 2u) << run.err;
    EXPECT_EQ(added[0], r3360 ? "-> version query: $R" : "-> version query: frame 50 5C");
    EXPECT_TRUE(added[1].ends_with(r3360 ? "host -> MCU: 24 52 0D 0A |$R..|"
                                         : "host -> MCU: FF AA 50 01 5C 0D |..P.\\.|"))
        << added[1];
    EXPECT_EQ(plain,
              "======== MCU Version ========\nUNIT V4.01\n"
              "======== MCU Information ========\nINFO 7\n");
}

INSTANTIATE_TEST_SUITE_P(BothModels, QueryAgainstSimulator,
                         ::testing::Values(ModelRun{"r3360", "19200"}, ModelRun{"j5", "38400"}),
                         [](const auto& test) { return std::string(test.param.model); });

// A unit whose texts would retitle and clear the technician's terminal, send a C1 control and
// forge the line a script waits for: the log shows them escaped, the JSON as \u escapes.
TEST(QueryAgainstAHostileUnit, ShowsItsTextsEscapedAndForgesNoLine) {
    testing::TempDir dir;
    const std::string log = (dir.path() / "query.log").string();
    const std::string version = "\x1B]0;x\x07\x1B[2J\x9B\r\nUpdate complete, MCU will auto reset";
    Simulator sim({"--model", "j5", "--version-text",
                   R"(\x1b]0;x\x07\x1b[2J\x9b\r\nUpdate complete, MCU will auto reset)",
                   "--info-text", R"(INFO\x1b[31m\r\nsecond line\r\n)"});
    ASSERT_FALSE(sim.device().empty()) << sim.process().err();
    const ProgramRun run = RunToEnd(
        {kFlashProgram, "query", "--port", sim.device(), "--model", "j5", "--json", "--log", log});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err,
              "======== MCU Version ========\n"
              R"(\x1b]0;x\x07\x1b[2J\x9b\r\nUpdate complete, MCU will auto reset)"
              "\n======== MCU Information ========\n"
              R"(INFO\x1b[31m\r\nsecond line)"
              "\n");
    EXPECT_EQ(testing::LogFileBody(testing::TempDir::Read(log)), run.err);
    EXPECT_NE(run.out.find(R"("mcu_version_before":"\u001b]0;x\u0007\u001b[2J\u009b\r\n)"),
              std::string::npos)
        << run.out;
    for (const char* raw : {"\x1B", "\x07", "\xC2\x9B", "\r"}) {
        EXPECT_EQ(run.out.find(raw), std::string::npos) << "raw in the JSON: " << raw;
    }
    const auto object = nlohmann::json::parse(run.out);
    EXPECT_EQ(object["mcu_version_before"], Latin1ToUtf8(version)) << "the same text";
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(QueryAgainstSilentSimulator, FailsAfterTheTwoSecondAcknowledgementWait) {
    for (const char* model : {"r3360", "j5"}) {
        SCOPED_TRACE(model);
        Simulator sim({"--model", model, "--silent"});
        ASSERT_FALSE(sim.device().empty()) << sim.process().err();

        const ProgramRun run = RunQuery(sim.device(), model);
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "======== MCU Version ========\nMCU no respone\n");
        EXPECT_GE(run.took, 1900ms);
        EXPECT_LE(run.took, 10000ms);
        // Each attempt says itself and waits its own time.
        const ProgramRun twice = RunToEnd({kFlashProgram, "query", "--port", sim.device(),
                                           "--model", model, "--connect-attempts", "2"});
        EXPECT_EQ(twice.status, 1) << twice.err;
        const std::string attempt = "======== MCU Version ========\nMCU no respone\n";
        EXPECT_EQ(twice.err, "Connecting: attempt 1 of 2\n" + attempt +
                                 "Connecting: attempt 2 of 2\n" + attempt);
        EXPECT_GE(twice.took, 3800ms);
    }
}

TEST(QueryAgainstDroppingSimulator, FailsWhenTheLineGoesAwayMidReply) {
    Simulator sim({"--model", "r3360", "--drop-after-bytes", "5"});
    ASSERT_FALSE(sim.device().empty()) << sim.process().err();
    const ProgramRun run = RunQuery(sim.device(), "r3360");
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.out, "");
}

TEST(QueryOnAPortInUse, FailsWithTheReasonInPlainWords) {
    Simulator sim({"--model", "r3360"});
    ASSERT_FALSE(sim.device().empty()) << sim.process().err();
    testing::CaptureSink capture;
    RealClock clock;
    PosixSerialPort port;
    LinkContext context(port, clock, capture.report);
    CAsciiLink holder(context);
    ASSERT_EQ(holder.Open(sim.device(), holder.baud_rate()), kOpenOk);

    // Refused before the open, naming the holder; with --force-port the open itself fails.
    const std::string us =
        testing::kProgramEmulator.empty()
            ? "e2e_tests"
            : std::filesystem::path(testing::kProgramEmulator[0]).filename().string();
    const ProgramRun refused = RunQuery(sim.device(), "r3360");
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err, "Can not open serial port " + sim.device() + ": held by " + us +
                               " (pid " + std::to_string(::getpid()) +
                               "), which would take the MCU's replies; close that program and "
                               "try again, or give --force-port\n");
    const ProgramRun run = RunToEnd(
        {kFlashProgram, "query", "--port", sim.device(), "--model", "r3360", "--force-port"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Can not open serial port " + sim.device() +
                           ": another program holds it; close that program and try again\n");
    EXPECT_EQ(holder.QueryVersion(), 0) << "the holder's port is untouched";
}

TEST(SimulatorProgram, ServesThroughItsSymlinkAndEndsCleanlyOnInterruptOrHangup) {
    testing::TempDir dir;
    const std::string link = (dir.path() / "ttyVELKOR").string();
    Simulator sim({"--model", "j5", "--symlink", link});
    ASSERT_FALSE(sim.device().empty()) << sim.process().err();
    EXPECT_EQ(std::filesystem::read_symlink(link), sim.device());
    const auto entries = [&dir] {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    };
    EXPECT_EQ(entries(), std::vector<std::string>{"ttyVELKOR"}) << "no temporary name left";

    const ProgramRun run = RunQuery(link, "j5");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "03FC0000\n");

    sim.process().Signal(SIGINT);
    EXPECT_EQ(sim.process().Wait(kRunTimeout), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));

    Simulator closed_terminal({"--model", "j5", "--symlink", link});
    ASSERT_FALSE(closed_terminal.device().empty()) << closed_terminal.process().err();
    closed_terminal.process().Signal(SIGHUP);
    EXPECT_EQ(closed_terminal.process().Wait(kRunTimeout), 0);
    EXPECT_TRUE(entries().empty());
}

// A unit taken off a fixture and the next one plugged in, while the device stays.
TEST(SimulatorProgram, AnswersNothingUnpluggedAndPlugsInAFreshUnit) {
    testing::TempDir dir;
    const std::string firmware = (dir.path() / "j5-m3.hex").string();
    const std::string flash = (dir.path() / "flash.bin").string();
    const ProgramRun made = RunToEnd(
        {testing::kSimProgram, "firmware", "--model", "j5", "--family", "m3", "-o", firmware});
    ASSERT_EQ(made.status, 0) << made.err;
    Simulator sim({"--model", "j5", "--family", "m3", "--flash-out", flash});
    ASSERT_FALSE(sim.device().empty()) << sim.err();
    const ProgramRun write = RunToEnd(
        {kFlashProgram, "write", "--port", sim.device(), "--model", "j5", "--mcu", "m3", firmware});
    ASSERT_EQ(write.status, 0) << write.err;
    ASSERT_NE(write.err.find("Verify: MCU checksum " + made.out.substr(0, 8) + " matches"),
              std::string::npos)
        << write.err;

    ASSERT_TRUE(sim.Unplug()) << sim.err();
    const ProgramRun unplugged = RunQuery(sim.device(), "j5");
    EXPECT_EQ(unplugged.status, 1);
    EXPECT_EQ(unplugged.err, "======== MCU Version ========\nMCU no respone\n");

    ASSERT_TRUE(sim.PlugInNext()) << sim.err();
    const ProgramRun next = RunQuery(sim.device(), "j5");
    EXPECT_EQ(next.status, 0) << next.err;
    EXPECT_EQ(next.out, "01FE0000\n") << "erased, as the options set the first unit";
    ASSERT_EQ(sim.Stop(), 0) << sim.err();
    EXPECT_EQ(testing::TempDir::Read(flash), std::string(256 * 1024, '\xFF'))
        << "the flash of the unit plugged in at the end";
}

}  // namespace
}  // namespace velkor
