// Opening the port: results, line settings, the device behind "COM2:" and the technician's
// line when the device cannot be opened.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>

#include "link/ascii_link.h"
#include "link/frame_link.h"
#include "settings/port_name.h"
#include "support/link_bench.h"
#include "support/temp_dir.h"

namespace velkor {
namespace {

using testing::LinkBench;

TEST(Open, ConfiguresTheLineAndKeepsEveryOtherDriverSetting) {
    LinkBench bench;
    bench.port.Close();
    LineSettings driver;
    driver.baud_rate = 115200;
    driver.byte_size = 7;
    driver.parity = 2;
    driver.stop_bits = 2;
    driver.dtr_control = 1;
    driver.driver_state = {0xDE, 0xAD, 0x00, 0xBE, 0xEF};
    bench.port.SetDriverSettings(driver);
    bench.port.ArriveAt(LinkBench::kStartMs, "stale");
    CAsciiLink link(bench.context);

    EXPECT_EQ(link.Open("/dev/ttyUSB3", 19200), kOpenOk);

    EXPECT_EQ(bench.port.opened_device(), "/dev/ttyUSB3");
    EXPECT_EQ(bench.port.event_mask(), 0x0101u);
    EXPECT_EQ(bench.port.write_timeout_ms(), 5000u);
    EXPECT_EQ(bench.port.pending_bytes(), 0u);
    const auto applied = bench.port.applied_settings();
    ASSERT_TRUE(applied.has_value());
    EXPECT_EQ(applied->baud_rate, 19200u);
    EXPECT_EQ(applied->byte_size, 8);
    EXPECT_EQ(applied->parity, 0);
    EXPECT_EQ(applied->stop_bits, 0);
    EXPECT_EQ(applied->dtr_control, 0);
    EXPECT_EQ(applied->driver_state, driver.driver_state);
}

TEST(Open, EachFailingStepHasItsResultAndLeavesThePortClosed) {
    struct Case {
        const char* step;
        std::function<void(FakeSerialPort::Faults&)> fail;
        int result;
    };
    const Case cases[] = {
        {"open", [](auto& faults) { faults.open_error = EBUSY; }, 1},
        {"event mask", [](auto& faults) { faults.event_mask = true; }, 2},
        {"read settings", [](auto& faults) { faults.get_settings = true; }, 3},
        {"write settings", [](auto& faults) { faults.set_settings = true; }, 3},
        {"time-outs", [](auto& faults) { faults.timeouts = true; }, 3},
        {"queue sizes (advisory)", [](auto& faults) { faults.queue_sizes = true; }, 0},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.step);
        LinkBench bench;
        bench.port.Close();
        test.fail(bench.port.faults());
        CFrameLink link(bench.context);
        EXPECT_EQ(link.OpenDefault(), test.result);
        EXPECT_EQ(bench.port.IsOpen(), test.result == 0);
        EXPECT_EQ(link.Close(), 0);
        EXPECT_EQ(link.Close(), 0);
    }
}

TEST(Open, AFailedOpenLogsOnePlainWordsLine) {
    LinkBench bench;
    bench.port.faults().open_error = EBUSY;
    CAsciiLink link(bench.context);
    EXPECT_EQ(link.OpenDefault(), 1);
    EXPECT_EQ(bench.capture.log(),
              "Can not open serial port /dev/ttyS1: another program holds it; close that "
              "program and try again\r\n");
}

TEST(OpenDefault, EachDialectUsesComTwoAtItsBaudRate) {
    LinkBench bench;
    EXPECT_EQ(CMcuLink(bench.context).OpenDefault(), kOpenNoPortDefined);
    CAsciiLink ascii(bench.context);
    EXPECT_EQ(ascii.OpenDefault(), 0);
    EXPECT_EQ(bench.port.applied_settings()->baud_rate, 19200u);
    CFrameLink frame(bench.context);
    EXPECT_EQ(frame.OpenDefault(), 0);
    EXPECT_EQ(bench.port.applied_settings()->baud_rate, 38400u);
    EXPECT_EQ(bench.port.opened_device(), "/dev/ttyS1");
}

TEST(ResolvePortDevice, ComPortSettingElseTheMatchingTtyS) {
    testing::TempDir dir;
    const auto with_port =
        dir.Write("a.ini", "[UpdateConfig]\r\nAppType=2\r\nComPort=/dev/ttyUSB0\r\n");
    const auto without_port = dir.Write("b.ini", "[UpdateConfig]\r\nAppType=2\r\n");
    struct Case {
        std::string name;
        std::string settings;
        std::string device;
    };
    const Case cases[] = {
        {"COM2:", with_port, "/dev/ttyUSB0"}, {"COM2:", without_port, "/dev/ttyS1"},
        {"COM2:", "", "/dev/ttyS1"},          {"com1", without_port, "/dev/ttyS0"},
        {"COM10:", "", "/dev/ttyS9"},         {"/dev/pts/4", with_port, "/dev/pts/4"},
        {"COM0:", without_port, "COM0:"},     {"COMX:", without_port, "COMX:"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name + " with " + test.settings);
        EXPECT_EQ(ResolvePortDevice(test.name, test.settings), test.device);
    }
}

TEST(DescribeOpenFailure, SaysWhatTheTechnicianCanDo) {
    struct Case {
        int error;
        const char* words;
    };
    for (const auto& test :
         {Case{EBUSY, "another program holds it"}, Case{EWOULDBLOCK, "another program holds it"},
          Case{ENOENT, "no such device"}, Case{ENOTTY, "not a serial port"},
          Case{EACCES, "access denied\r\n"}, Case{EIO, strerror(EIO)}}) {
        const auto line = DescribeOpenFailure(test.error, "/no/such/ttyX");
        EXPECT_TRUE(line.starts_with("Can not open serial port /no/such/ttyX: ")) << line;
        EXPECT_NE(line.find(test.words), std::string::npos) << line;
        EXPECT_TRUE(line.ends_with("\r\n")) << line;
    }
    // The advice names where the device name came from.
    EXPECT_TRUE(DescribeOpenFailure(ENOENT, "/x").ends_with("the \"ComPort\" setting\r\n"));
    EXPECT_TRUE(DescribeOpenFailure(ENOTTY, "/x", "--port").ends_with("check --port\r\n"));
}

TEST(DescribeOpenFailure, NamesTheDeviceALinkOnTheCommandLineLeadsTo) {
    testing::TempDir dir;
    const auto device = dir.Write("ttyUSB7", "");
    const auto link = (dir.path() / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0").string();
    std::filesystem::create_symlink(device, link);
    EXPECT_EQ(DescribeOpenFailure(EBUSY, link, kPortSourceCommandLine),
              "Can not open serial port " + link + " (" +
                  std::filesystem::canonical(device).string() +
                  "): another program holds it; close that program and try again\r\n");
    EXPECT_TRUE(
        DescribeOpenFailure(EBUSY, link).starts_with("Can not open serial port " + link + ": "))
        << "the window names its setting as it is";
}

// Only a group that may read and write the device is named: joining another helps nobody.
TEST(DescribeOpenFailure, NamesTheGroupThatOwnsTheDevice) {
    testing::TempDir dir;
    const auto device = dir.Write("ttyS9", "");
    struct Case {
        mode_t mode;
        const char* words;
    };
    // crw-rw---- root dialout is the usual serial device; crw------- names no group that
    // would help, and crw-r----- none either.
    for (const Case& test : {Case{0660, "although the user is in the group \""},
                             Case{0600, "its group has no read and write access to it"},
                             Case{0640, "its group has no read and write access to it"}}) {
        SCOPED_TRACE(test.mode);
        ASSERT_EQ(::chmod(device.c_str(), test.mode), 0);
        const std::string line = DescribeOpenFailure(EACCES, device);
        EXPECT_NE(line.find(test.words), std::string::npos) << line;
        EXPECT_EQ(line.find("group \"") != std::string::npos, test.mode == 0660) << line;
    }
    ASSERT_EQ(::chmod(device.c_str(), 0660), 0);
    if (::chown(device.c_str(), static_cast<uid_t>(-1), 65534) != 0) {
        GTEST_SKIP() << "no right to give the file to another group";
    }
    EXPECT_NE(DescribeOpenFailure(EACCES, device).find("the user is not in the group \""),
              std::string::npos);
}

}  // namespace
}  // namespace velkor
