#include "session/update_worker.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

#include "session/worker_steps.h"
#include "settings/unit_types.h"
#include "support/capture_sink.h"
#include "support/temp_dir.h"
#include "testing/fake_serial_port.h"

namespace velkor {
namespace {

struct WorkerReport {
    std::uint32_t command;
    int result;
    bool operator==(const WorkerReport&) const = default;
};

class WorkerTest : public ::testing::Test {
  protected:
    WorkerTest() {
        session.state.file_system_root = dir.path();  // no StaticStore: the model stays open
        worker.Start();
    }

    // Stores a command and waits until the worker has run it and gone idle again.
    void Run(std::uint32_t command) {
        hand_off.Store(command);
        while (!hand_off.idle()) {
            std::this_thread::yield();
        }
    }
    std::vector<WorkerReport> Reports() {
        std::lock_guard lock(mutex);
        return std::exchange(reports, {});
    }

    testing::TempDir dir;
    testing::CaptureSink capture;
    VirtualClock clock;
    FakeSerialPort port{clock};
    UpdateSession session{port, clock, dir.path() / "tool.ini", &capture};
    WorkerHandOff hand_off;
    std::mutex mutex;
    std::vector<WorkerReport> reports;
    UpdateWorker worker{session, hand_off, [this](std::uint32_t command, int result) {
                            std::lock_guard lock(mutex);
                            reports.push_back({command, result});
                        }};
};

TEST_F(WorkerTest, EveryCommandFromOneToNineReportsOnceOthersNever) {
    dir.Write("tool.ini", "[UpdateConfig]\r\nAppType=1\r\nMcuType=2\r\nComPort=/dev/fake\r\n");
    for (std::uint32_t command = 1; command <= 9; ++command) {
        Run(command);
        const auto got = Reports();
        ASSERT_EQ(got.size(), 1u) << command;
        EXPECT_EQ(got[0].command, command);
    }
    for (std::uint32_t command : {10u, 11u, 0xFFFFFFFFu}) {
        Run(command);
        EXPECT_TRUE(Reports().empty()) << command;
    }
}

TEST_F(WorkerTest, ModelAndFamilyComeFromTheSettingsOnlyWhileUndetermined) {
    dir.Write("tool.ini", "[UpdateConfig]\r\nAppType=2\r\nMcuType=3\r\nMcuSlave=1\r\n");
    Run(kCommandIdentifyModel);
    Run(kCommandReadMcuType);
    EXPECT_EQ(Reports(), (std::vector<WorkerReport>{{1, kAppTypeJ5}, {2, kMcuTypeM3}}));
    EXPECT_TRUE(session.programming.slave);

    dir.Write("tool.ini", "[UpdateConfig]\r\nAppType=1\r\nMcuType=1\r\nMcuSlave=0\r\n");
    Run(kCommandIdentifyModel);
    Run(kCommandReadMcuType);
    EXPECT_EQ(Reports(), (std::vector<WorkerReport>{{1, kAppTypeJ5}, {2, kMcuTypeM3}}));
    EXPECT_FALSE(session.programming.slave) << "the slave flag is read every time";
}

TEST_F(WorkerTest, ValuesThatNameNothingCountAsUndetermined) {
    struct Case {
        const char* settings;
        int model;
        int family;
    };
    const Case cases[] = {
        {"AppType=3\r\nMcuType=4\r\n", 0, 0},
        {"AppType=-1\r\nMcuType=0\r\n", 0, 0},
        {"AppType=2x\r\nMcuType= 3\r\n", 2, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings);
        session.state.app_type = 0;
        session.state.mcu_type = 0;
        dir.Write("tool.ini", std::string("[UpdateConfig]\r\n") + c.settings);
        Run(kCommandIdentifyModel);
        Run(kCommandReadMcuType);
        EXPECT_EQ(Reports(), (std::vector<WorkerReport>{{1, c.model}, {2, c.family}}));
    }
}

TEST_F(WorkerTest, ModelFromTheManagerProgramsFolder) {
    session.state.manager_path = "/StaticStore/j5/Manager.exe";
    Run(kCommandIdentifyModel);
    EXPECT_EQ(Reports(), (std::vector<WorkerReport>{{1, kAppTypeJ5}}));
}

TEST_F(WorkerTest, OpenLinkLogsTheModelAndUsesTheConfiguredDevice) {
    dir.Write("tool.ini", "[UpdateConfig]\r\nComPort=/dev/ttyUSB3\r\n");
    session.state.app_type = kAppTypeR3360;
    Run(kCommandOpenLink);
    EXPECT_EQ(Reports(), (std::vector<WorkerReport>{{3, 0}}));
    EXPECT_EQ(port.opened_device(), "/dev/ttyUSB3");
    EXPECT_EQ(session.current_link, &session.links.ascii);
    EXPECT_EQ(capture.log(), "\r\nR3360\r\n");
}

TEST_F(WorkerTest, FirstResetClosesNothingLaterOnesClose) {
    Run(kCommandReset);
    EXPECT_EQ(port.open_count(), 0);
    session.state.app_type = kAppTypeJ5;
    Run(kCommandOpenLink);
    ASSERT_TRUE(port.IsOpen());
    Run(kCommandReset);
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(WorkerTest, LoadLogsTheFileAndItsErrors) {
    session.current_image = &session.hex_image;
    const std::string data = ":0380000001020377\r\n";
    const std::string end = ":00000001FF\r\n";
    struct Case {
        const char* file;  // none: missing
        std::string content;
        int result;
        std::string_view says;
    };
    // A file cut short, or without data, loads as it always did: the window says what it is.
    const Case cases[] = {
        {nullptr, "", kLoadCannotOpen, "ERROR:can not open the file\r\n"},
        {"whole.hex", data + end, kLoadOk, ""},
        {"cut-short.hex", data, kLoadOk,
         "WARNING:the file does not end with its end record; it may be cut short\r\n"},
        {"no-data.hex", end, kLoadOk, "WARNING:the file holds no data\r\n"},
        {"empty.hex", "", kLoadOk, "WARNING:the file holds no data\r\n"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.file ? test.file : "missing");
        session.state.firmware_path =
            test.file ? dir.Write(test.file, test.content) : (dir.path() / "missing.hex").string();
        capture.Clear();
        Run(kCommandLoadFile);
        EXPECT_EQ(Reports(), (std::vector<WorkerReport>{{6, test.result}}));
        EXPECT_EQ(capture.log(), "======== File Information ========\r\n" +
                                     session.state.firmware_path + "\r\n" + std::string(test.says));
    }
}

TEST_F(WorkerTest, ChecksumWaitsHalfASecondFirst) {
    session.state.app_type = kAppTypeJ5;
    Run(kCommandOpenLink);
    const std::uint32_t before = clock.NowMs();
    Run(kCommandReadChecksum);
    // 500 ms pause, then 2000 ms of silence for the acknowledgement.
    EXPECT_GE(clock.NowMs() - before, 2500u);
    EXPECT_EQ(Reports().back(), (WorkerReport{9, 1}));
}

}  // namespace
}  // namespace velkor
