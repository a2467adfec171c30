// velkor-flash ports on this machine, which has no USB serial adapter, and the search for the
// programs that hold a device.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "devices/port_holders.h"
#include "e2e/e2e_programs.h"
#include "platform/posix_serial_port.h"

namespace velkor {
namespace {

using testing::kFlashProgram;
using testing::ProgramRun;
using testing::RunToEnd;
using testing::Simulator;

TEST(PortsCommand, ListsNoPseudoTerminalAndSendsNothing) {
    Simulator sim({"--model", "r3360", "-v"});
    ASSERT_FALSE(sim.device().empty()) << sim.err();

    const ProgramRun text = RunToEnd({kFlashProgram, "ports"});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.err, "");
    const ProgramRun json = RunToEnd({kFlashProgram, "ports", "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    const auto listed = nlohmann::json::parse(json.out);
    ASSERT_TRUE(listed.is_array()) << json.out;
    if (listed.empty()) {
        EXPECT_EQ(text.out, "No serial device found.\n");
    }
    for (const auto& entry : listed) {
        const std::string device = entry.at("device");
        EXPECT_TRUE(device.starts_with("/dev/")) << device;
        EXPECT_NE(device, sim.device()) << "a pseudo-terminal is no serial device";
        EXPECT_NE(text.out.find(device + "\n"), std::string::npos) << text.out;
        EXPECT_TRUE(entry.at("in_use").is_boolean() || entry.at("in_use").is_null());
    }
    EXPECT_EQ(text.out.find(sim.device()), std::string::npos) << text.out;

    ASSERT_EQ(sim.Stop(), 0);
    EXPECT_EQ(sim.err().find("host -> MCU"), std::string::npos) << sim.err();
}

TEST(PortsCommand, SaysSoWhenThereIsNoSerialDeviceAtAll) {
    // The machine's ttys hidden behind an empty folder, in a mount namespace of its own.
    const std::string hidden = "mount -t tmpfs none /sys/class/tty && exec \"$0\" \"$@\"";
    auto hidden_run = [&](const std::vector<std::string>& args) {
        std::vector<std::string> command = {"/usr/bin/unshare", "-m", "sh", "-c", hidden};
        for (const std::string& arg : testing::ProgramCommand(args)) {
            command.push_back(arg);
        }
        return RunToEnd(command);
    };
    const ProgramRun text = hidden_run({kFlashProgram, "ports"});
    if (text.status != 0 && text.out.empty()) {
        GTEST_SKIP() << "no mount namespace for this user: " << text.err;
    }
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out, "No serial device found.\n");
    const ProgramRun json = hidden_run({kFlashProgram, "ports", "--json"});
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(json.out, "[]\n");
}

TEST(PortHolders, NameTheProcessThatHoldsADeviceWithoutOpeningIt) {
    Simulator sim({"--model", "r3360"});
    ASSERT_FALSE(sim.device().empty()) << sim.err();
    // This process, named as it runs; empty when it is not among the holders.
    auto held_by_us = [](const PortUseReport& report) {
        const auto us =
            std::find_if(report.holders.begin(), report.holders.end(),
                         [](const PortHolder& holder) { return holder.pid == ::getpid(); });
        return us != report.holders.end() ? us->program : std::string();
    };
    {
        PosixSerialPort port;
        ASSERT_EQ(port.Open(sim.device()), 0);
        const auto reports = FindPortHolders({sim.device(), "/no/such/tty"});
        ASSERT_EQ(reports.size(), 2u);
        EXPECT_EQ(reports[0].use, PortUse::kHeld);
        // Under an emulator the process is the emulator's.
        const std::string us =
            testing::kProgramEmulator.empty()
                ? "e2e_tests"
                : std::filesystem::path(testing::kProgramEmulator[0]).filename().string();
        EXPECT_EQ(held_by_us(reports[0]), us);
        EXPECT_EQ(reports[1].use, PortUse::kUnknown);
        EXPECT_TRUE(reports[1].holders.empty());
    }
    const auto reports = FindPortHolders({sim.device()});
    EXPECT_EQ(held_by_us(reports[0]), "") << "the port was closed";
    EXPECT_EQ(sim.Stop(), 0);
}

}  // namespace
}  // namespace velkor
