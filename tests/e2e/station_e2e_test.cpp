// velkor-flash station against velkor-sim units: in a watched folder, where each unit's link
// comes and goes with it, and on fixed ports, where the unit is taken off its adapter.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/e2e_programs.h"
#include "support/child_process.h"
#include "support/http_client.h"
#include "support/temp_dir.h"

namespace velkor {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using testing::ChildProcess;
using testing::kFlashProgram;
using testing::kSimProgram;
using testing::ProgramRun;
using testing::RunToEnd;
using testing::Simulator;

constexpr std::chrono::seconds kStationTimeout{90};

std::string MakeFirmware(const testing::TempDir& dir, const std::string& name,
                         std::vector<std::string> identity = {}) {
    const std::string file = (dir.path() / name).string();
    std::vector<std::string> args = {kSimProgram, "firmware", "--model", "j5",
                                     "--family",  "m3",       "-o",      file};
    args.insert(args.end(), identity.begin(), identity.end());
    EXPECT_EQ(RunToEnd(args).status, 0);
    return file;
}

// The record lines by slot; a line that is not whole JSON fails the test.
std::map<std::string, json> RecordsBySlot(const std::string& file) {
    std::map<std::string, json> records;
    std::istringstream in(testing::TempDir::Read(file));
    for (std::string line; std::getline(in, line);) {
        const json record = json::parse(line);
        EXPECT_EQ(record["command"], "station");
        EXPECT_FALSE(records.contains(record["slot"])) << "a slot updated twice: " << line;
        records[record["slot"]] = record;
    }
    return records;
}

std::vector<std::string> Station(std::vector<std::string> more) {
    std::vector<std::string> args = {kFlashProgram, "station", "--model", "j5", "--mcu", "m3"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// Three units plugged into a watched folder: one is updated, one that already holds the file
// is left alone, one the file is not for is refused; none is touched twice while it stays.
// Three hundred links to /dev/null among them start no slot (and no thread).
TEST(StationInAWatchedFolder, UpdatesNewUnitsLeavesCurrentOnesAloneAndRefusesOthers) {
    testing::TempDir dir;
    const std::string file = MakeFirmware(dir, "j5-m3.hex");
    const std::string image = (dir.path() / "j5-m3.bin").string();
    ASSERT_EQ(RunToEnd({kFlashProgram, "image", "--mcu", "m3", file, "-o", image}).status, 0);
    const auto fixture = dir.path() / "by-id";  // made only when the first unit comes
    const std::string records = (dir.path() / "units.jsonl").string();
    // The log folder is made by the station, as write makes it.
    ChildProcess station(testing::ProgramCommand(Station(
        {"--watch", fixture.string(), "--allow-pty", "--match", "usb-*", "--poll-interval", "200",
         "--max-units", "3", "--record", records, "--log", (dir.path() / "logs").string(), file})));
    // Said, so that a mistyped folder is noticed.
    ASSERT_TRUE(station.ErrShows("velkor-flash: " + fixture.string() +
                                     " does not exist yet: the station waits for it to appear\n",
                                 0, 10s))
        << station.err();
    const std::string flash = (dir.path() / "new.bin").string();
    std::vector<std::unique_ptr<Simulator>> units;
    std::filesystem::create_directory(fixture);
    std::filesystem::create_symlink("/dev/null", fixture / "not-a-usb-link");
    for (int i = 0; i < 300; ++i) {
        std::filesystem::create_symlink("/dev/null", fixture / ("usb-null-" + std::to_string(i)));
    }
    for (const std::vector<std::string>& unit :
         {std::vector<std::string>{"--symlink", (fixture / "usb-new").string(), "--flash-out",
                                   flash},
          std::vector<std::string>{"--symlink", (fixture / "usb-current").string(), "--flash-file",
                                   image},
          std::vector<std::string>{"--symlink", (fixture / "usb-other").string(), "--version-text",
                                   "X5M3A-H8--N8N_V_3.10"}}) {
        std::vector<std::string> options = {"--model", "j5", "--family", "m3"};
        options.insert(options.end(), unit.begin(), unit.end());
        units.push_back(std::make_unique<Simulator>(options));
        ASSERT_FALSE(units.back()->device().empty()) << units.back()->err();
    }
    const auto status = station.Wait(kStationTimeout);
    ASSERT_TRUE(status) << station.err();
    EXPECT_EQ(*status, 4) << "the highest among the units: not confirmed\n" << station.err();
    EXPECT_NE(station.out().find("Station: 3 units"), std::string::npos) << station.out();

    const auto by_slot = RecordsBySlot(records);
    ASSERT_EQ(by_slot.size(), 3u) << testing::TempDir::Read(records);
    EXPECT_EQ(by_slot.at("usb-new")["result"], "updated");
    EXPECT_EQ(by_slot.at("usb-new")["verify"], "matches");
    EXPECT_EQ(by_slot.at("usb-current")["result"], "up_to_date");
    EXPECT_EQ(by_slot.at("usb-current")["failure"], nullptr);
    EXPECT_EQ(by_slot.at("usb-other")["result"], "not_confirmed");
    for (const auto& unit : units) {
        ASSERT_EQ(unit->Stop(), 0);
    }
    // The family's firmware range, from address 0.
    EXPECT_TRUE(testing::TempDir::Read(flash).substr(0, 0x20000) ==
                testing::TempDir::Read(image).substr(0, 0x20000));
    // Without a terminal, a line per event, each with its slot, or one of the station's own.
    std::istringstream err(station.err());
    for (std::string line; std::getline(err, line);) {
        EXPECT_TRUE(line.starts_with("usb-") || line.starts_with("velkor-flash: usb-null-") ||
                    line.starts_with("velkor-flash: " + fixture.string() + " does not exist"))
            << line;
    }
    EXPECT_NE(station.err().find(
                  "velkor-flash: usb-null-299 not taken as a slot: /dev/null is not a serial "
                  "device\n"),
              std::string::npos);
    EXPECT_NE(station.err().find("usb-current: up_to_date"), std::string::npos);
    EXPECT_NE(testing::TempDir::Read(dir.path() / "logs" / "usb-new.log").find("Verify: MCU"),
              std::string::npos);
}

// A unit whose line hangs up mid-programming fails and is recorded so, while the other slot
// goes on; --firmware-dir picks each unit's own file and refuses a unit two files fit.
TEST(StationOnFixedPorts, ChoosesEachUnitsFileAndRecordsAUnitLostMidProgramming) {
    testing::TempDir dir;
    const auto firmware = dir.path() / "firmware";
    std::filesystem::create_directory(firmware);
    testing::TempDir scratch;
    const std::string version_b = "J5M3B-H8--N8N_V_3.10";
    const std::string version_c = "J5M3C-H8--N8N_V_3.10";
    std::filesystem::copy(MakeFirmware(scratch, "a.hex"), firmware / "a.hex");
    std::filesystem::copy(MakeFirmware(scratch, "b.hex", {"--version-text", version_b}),
                          firmware / "b.hex");
    std::filesystem::copy(MakeFirmware(scratch, "c1.hex", {"--version-text", version_c}),
                          firmware / "c1.hex");
    std::filesystem::copy(
        MakeFirmware(scratch, "c2.hex", {"--version-text", version_c, "--seed", "2"}),
        firmware / "c2.hex");
    dir.Write("firmware/notes.txt", "not firmware\n");
    const std::string records = (dir.path() / "units.jsonl").string();

    Simulator a({"--model", "j5", "--family", "m3"});
    Simulator b({"--model", "j5", "--family", "m3", "--version-text", version_b,
                 "--drop-after-records", "40"});
    Simulator c({"--model", "j5", "--family", "m3", "--version-text", version_c});
    for (const Simulator* unit : {&a, &b, &c}) {
        ASSERT_FALSE(unit->device().empty()) << unit->err();
    }
    const ProgramRun run = RunToEnd(
        Station({"--port", a.device(), "--port", b.device(), "--port", c.device(), "--firmware-dir",
                 firmware.string(), "--max-units", "3", "--record", records}));
    EXPECT_EQ(run.status, 5) << "the highest among the units: programming failed\n" << run.err;

    const auto by_slot = RecordsBySlot(records);
    ASSERT_EQ(by_slot.size(), 3u) << testing::TempDir::Read(records);
    const json& first = by_slot.at(a.device());
    EXPECT_EQ(first["result"], "updated");
    EXPECT_EQ(first["file_path"], (firmware / "a.hex").string());
    const json& lost = by_slot.at(b.device());
    EXPECT_EQ(lost["result"], "program_failed");
    EXPECT_EQ(lost["file_path"], (firmware / "b.hex").string());
    EXPECT_EQ(lost["failure"]["record"], 41);
    EXPECT_EQ(lost["failure"]["cause"], "hung_up");
    const json& both = by_slot.at(c.device());
    EXPECT_EQ(both["result"], "no_file");
    EXPECT_EQ(both["file_path"], nullptr);
    EXPECT_NE(run.err.find("c1.hex"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("c2.hex"), std::string::npos) << run.err;
}

// On a fixed port the unit is taken off its adapter: the next unit is updated only once the
// last one is gone, or shows itself another (swapped without a gap); the first SIGINT lets the
// unit being programmed finish.
TEST(StationOnAFixedPort, TakesTheNextUnitOnceTheLastIsGoneOrSwappedAndFinishesItOnInterrupt) {
    testing::TempDir dir;
    const std::string file = MakeFirmware(dir, "j5-m3.hex");
    const std::string records = (dir.path() / "units.jsonl").string();
    // Paced, so that programming lasts long enough to be interrupted.
    Simulator unit({"--model", "j5", "--family", "m3", "--baud", "230400"});
    ASSERT_FALSE(unit.device().empty()) << unit.err();
    ChildProcess station(testing::ProgramCommand(
        Station({"--port", unit.device(), "--poll-interval", "200", "--record", records, file})));
    const std::string slot = unit.device() + ": ";
    ASSERT_TRUE(station.ErrShows(slot + "updated", 0, kStationTimeout)) << station.err();
    // The unit stays: it is asked after, but not updated again.
    EXPECT_FALSE(station.ErrShows(slot + "updating", station.err().find(slot + "updated"), 1s));
    // Swapped for another without a gap: the other is told by its checksum, and updated.
    ASSERT_TRUE(unit.PlugInNext());
    ASSERT_TRUE(station.ErrShows(slot + "another unit in its place", 0, kStationTimeout))
        << station.err();
    const std::size_t swapped = station.err().find(slot + "another unit in its place");
    ASSERT_TRUE(station.ErrShows(slot + "updated", swapped, kStationTimeout)) << station.err();
    ASSERT_TRUE(unit.Unplug());
    ASSERT_TRUE(station.ErrShows(slot + "unit removed", 0, kStationTimeout)) << station.err();
    ASSERT_TRUE(unit.PlugInNext());
    const std::size_t second = station.err().size();
    ASSERT_TRUE(station.ErrShows(slot + "updating", second, kStationTimeout)) << station.err();
    // Well into its programming. The first signal says at once what it does: before the unit
    // under way finishes.
    std::this_thread::sleep_for(4s);
    const std::size_t before_signal = station.err().size();
    station.Signal(SIGINT);
    EXPECT_TRUE(station.ErrShows(
        " s); Ctrl-C again interrupts it and leaves it in its boot loader.\n", before_signal, 2s))
        << station.err();
    const auto status = station.Wait(kStationTimeout);
    ASSERT_TRUE(status) << station.err();
    EXPECT_EQ(*status, 128 + SIGINT) << station.err();
    EXPECT_NE(station.out().find("Station: 3 units"), std::string::npos) << station.out();
    const std::size_t said = station.err().find("Stopping: 1 unit finishes first (about ");
    EXPECT_LT(said, station.err().find(slot + "updated", second)) << station.err();

    std::istringstream lines(testing::TempDir::Read(records));
    std::vector<json> units;
    for (std::string line; std::getline(lines, line);) {
        units.push_back(json::parse(line));
    }
    ASSERT_EQ(units.size(), 3u);
    for (const json& record : units) {
        EXPECT_EQ(record["result"], "updated") << record;
        EXPECT_EQ(record["verify"], "matches") << record;
    }
}

// The web server of a station: its state and metrics, escaped and read-only, while a client
// that asked for the events and never reads them does not keep the station from ending.
TEST(StationWebServer, ServesStateAndMetricsReadOnlyAndEndsPastAStalledClient) {
    testing::TempDir dir;
    const std::string version = "\x1b]2;T\x07<script>J5M3A-H8--N8N_V_3.10";
    const std::string file = MakeFirmware(dir, "j5-m3.hex", {"--version-text", version});
    const std::string records = (dir.path() / "units.jsonl").string();
    Simulator unit({"--model", "j5", "--family", "m3", "--version-text", version});
    ASSERT_FALSE(unit.device().empty()) << unit.err();
    ChildProcess station(testing::ProgramCommand(
        Station({"--port", unit.device(), "--poll-interval", "200", "--http", "127.0.0.1:0",
                 "--station", "line \"3\"", "--record", records, file})));
    const std::string page = "Station page: http://127.0.0.1:";
    ASSERT_TRUE(station.ErrShows(page, 0, 10s)) << station.err();
    const int port = std::stoi(station.err().substr(station.err().find(page) + page.size()));

    const int stalled = ::socket(AF_INET, SOCK_STREAM, 0);
    const int small = 4096;
    ::setsockopt(stalled, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(stalled, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::string request = "GET /events HTTP/1.1\r\nHost: localhost\r\n\r\n";
    ASSERT_EQ(::write(stalled, request.data(), request.size()),
              static_cast<ssize_t>(request.size()));

    ASSERT_TRUE(station.ErrShows(unit.device() + ": updated", 0, kStationTimeout)) << station.err();
    // The unit's text is escaped once on the terminal, and is itself in the state.
    EXPECT_NE(station.err().find(": updating unit \\x1b]2;T\\x07<script>"), std::string::npos)
        << station.err();
    const testing::HttpReply state = testing::HttpRequest(port, "GET", "/api/state");
    ASSERT_EQ(state.status, 200);
    const json parsed = json::parse(state.body);
    EXPECT_EQ(parsed["station"], "line \"3\"");
    ASSERT_EQ(parsed["slots"].size(), 1u);
    EXPECT_EQ(parsed["slots"][0]["version"], version);
    EXPECT_EQ(parsed["totals"]["updated"], 1);
    ASSERT_EQ(parsed["records"].size(), 1u);
    EXPECT_EQ(parsed["records"][0], json::parse(testing::TempDir::Read(records)));
    EXPECT_NE(state.Header("content-security-policy").find("script-src 'self'"), std::string::npos);

    const testing::HttpReply metrics = testing::HttpRequest(port, "GET", "/metrics");
    ASSERT_EQ(metrics.status, 200);
    EXPECT_NE(metrics.body.find("velkor_station_units_total{result=\"updated\"} 1\n"),
              std::string::npos)
        << metrics.body;
    EXPECT_NE(metrics.body.find("station=\"line \\\"3\\\"\""), std::string::npos) << metrics.body;
    for (const auto& [method, path] : {std::pair{"POST", "/"}, std::pair{"PUT", "/api/state"},
                                       std::pair{"DELETE", "/metrics"}}) {
        const testing::HttpReply refused = testing::HttpRequest(port, method, path);
        EXPECT_EQ(refused.status, 405) << method;
        EXPECT_EQ(refused.Header("allow"), "GET, HEAD");
    }

    station.Signal(SIGTERM);
    const auto status = station.Wait(10s);
    ::close(stalled);
    ASSERT_TRUE(status) << "the station did not end\n" << station.err();
    EXPECT_EQ(*status, 128 + SIGTERM) << station.err();
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kUnderSanitizer = true;
#else
constexpr bool kUnderSanitizer = false;
#endif

// The station's resident memory, from /proc; 0 when it cannot be read.
std::size_t ResidentBytes(int pid) {
    std::istringstream status(testing::TempDir::Read("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) {
            return std::stoul(line.substr(6)) * 1024;
        }
    }
    return 0;
}

// A client as a hostile one on the plant network would be: a header line that never ends,
// range requests of thousands of ranges, hundreds of idle connections under a table of 256
// descriptors, a name of its own for the station, a second station on the same port. The unit
// being programmed meanwhile finishes with its one record, the station's memory stays small,
// and /metrics answers another client at once.
TEST(StationWebServer, NoClientCostsTheUnitBeingProgrammed) {
    testing::TempDir dir;
    const std::string file = MakeFirmware(dir, "j5-m3.hex");
    const std::string records = (dir.path() / "units.jsonl").string();
    Simulator unit({"--model", "j5", "--family", "m3", "--baud", "115200"});
    ASSERT_FALSE(unit.device().empty()) << unit.err();
    std::vector<std::string> command =
        testing::ProgramCommand(Station({"--port", unit.device(), "--poll-interval", "200",
                                         "--http", "127.0.0.1:0", "--record", records, file}));
    command.insert(command.begin(), {"/bin/sh", "-c", "ulimit -n 256 && exec \"$@\"", "sh"});
    ChildProcess station(command);
    const std::string page = "Station page: http://127.0.0.1:";
    ASSERT_TRUE(station.ErrShows(page, 0, 10s)) << station.err();
    const int port = std::stoi(station.err().substr(station.err().find(page) + page.size()));
    ASSERT_TRUE(station.ErrShows(unit.device() + ": updating unit", 0, kStationTimeout))
        << station.err();
    const auto attacker = [port] { return testing::ConnectLocal(port, "127.0.0.2"); };

    // One address may follow the events four times at most: the wall screen still gets in.
    {
        const std::string request = "GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        const auto follow = [&](int fd) {
            ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
            std::string head;
            char byte = 0;
            while (!head.ends_with("\r\n\r\n") && ::recv(fd, &byte, 1, 0) == 1) {
                head += byte;
            }
            return testing::ParseReply(head).status;
        };
        std::vector<int> streams;
        for (int i = 0; i < 5; ++i) {
            streams.push_back(attacker());
            EXPECT_EQ(follow(streams.back()), i < 4 ? 200 : 503) << i;
        }
        streams.push_back(testing::ConnectLocal(port));
        EXPECT_EQ(follow(streams.back()), 200) << "another address";
        for (const int fd : streams) {
            ::close(fd);
        }
    }
    // A header line that never ends is cut off long before it could cost memory.
    {
        const int fd = attacker();
        ASSERT_GE(fd, 0);
        const timeval give_up{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &give_up, sizeof give_up);
        std::string head = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX: ";
        ::send(fd, head.data(), head.size(), MSG_NOSIGNAL);
        const std::string filler(64 * 1024, 'a');
        std::size_t sent = 0;
        while (sent < 256 * filler.size()) {
            const ssize_t n = ::send(fd, filler.data(), filler.size(), MSG_NOSIGNAL);
            if (n <= 0) {
                break;
            }
            sent += static_cast<std::size_t>(n);
        }
        EXPECT_LT(sent, 8u << 20) << "the server went on reading the line";
        ::close(fd);
    }
    // A range request of 2,700 ranges gets the whole body or is refused, never 2,700 parts.
    {
        std::string ranges = "bytes=0-0";
        for (int i = 1; i < 2700; ++i) {
            ranges += "," + std::to_string(2 * i) + "-" + std::to_string(2 * i);
        }
        const std::string request =
            "GET /station.js HTTP/1.1\r\nHost: 127.0.0.1\r\nRange: " + ranges +
            "\r\nConnection: close\r\n\r\n";
        std::vector<int> clients;
        for (int i = 0; i < 24; ++i) {
            clients.push_back(attacker());
            ::send(clients.back(), request.data(), request.size(), MSG_NOSIGNAL);
        }
        for (const int fd : clients) {
            const testing::HttpReply reply = testing::ParseReply(testing::ReadToClose(fd, 5s));
            EXPECT_NE(reply.status, 206);
            EXPECT_EQ(reply.headers.count("content-range"), 0u);
            ::close(fd);
        }
    }
    // Hundreds of idle connections take neither the slots' descriptors nor /metrics.
    std::vector<int> idle;
    for (int i = 0; i < 400; ++i) {
        if (const int fd = attacker(); fd >= 0) {
            idle.push_back(fd);
        }
    }
    const auto asked = std::chrono::steady_clock::now();
    const testing::HttpReply metrics = testing::HttpRequest(port, "GET", "/metrics");
    EXPECT_EQ(metrics.status, 200);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 1s);
    // A page that got a name of its own to point here (DNS rebinding) reads nothing.
    EXPECT_EQ(testing::HttpRequest(port, "GET", "/api/state", "evil.example").status, 421);
    EXPECT_EQ(testing::HttpRequest(port, "GET", "/api/state", "localhost").status, 200);
    // A second station on the same port is refused, rather than sharing it with the first.
    const ProgramRun second = RunToEnd(
        Station({"--port", unit.device(), "--http", "127.0.0.1:" + std::to_string(port), file}));
    EXPECT_EQ(second.status, 64) << second.err;
    EXPECT_NE(second.err.find("velkor-flash: 127.0.0.1:" + std::to_string(port) + " is in use\n"),
              std::string::npos)
        << second.err;
    // An emulator's memory, or a sanitizer's shadow memory, is not the station's.
    if (testing::kProgramEmulator.empty() && !kUnderSanitizer) {
        EXPECT_LT(ResidentBytes(station.pid()), 64u << 20);
    }

    ASSERT_TRUE(station.ErrShows(unit.device() + ": updated", 0, kStationTimeout)) << station.err();
    for (const int fd : idle) {
        ::close(fd);
    }
    station.Signal(SIGTERM);
    ASSERT_TRUE(station.Wait(10s)) << station.err();
    const std::map<std::string, json> units = RecordsBySlot(records);
    ASSERT_EQ(units.size(), 1u) << station.err();
    EXPECT_EQ(units.begin()->second["result"], "updated");
}

}  // namespace
}  // namespace velkor
