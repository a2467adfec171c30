// PosixSerialPort on a real pseudo-terminal.
#include "platform/posix_serial_port.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "link/ascii_link.h"
#include "platform/clock.h"
#include "support/temp_dir.h"

// How a terminal's settings were last set: the settings given back on close must wait until
// the output has left the device (TCSADRAIN), which no pseudo-terminal can show.
namespace {
std::atomic<int> last_settings_action{-1};
}  // namespace

extern "C" int tcsetattr(int fd, int action, const struct termios* settings) {
    using Real = int (*)(int, int, const struct termios*);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "tcsetattr"));
    last_settings_action = action;
    return real(fd, action, settings);
}

namespace velkor {
namespace {

// The far end of the line: the master side of a pseudo-terminal.
class PseudoTerminal {
  public:
    PseudoTerminal() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
            device_ = ::ptsname(master_);
        }
    }
    ~PseudoTerminal() { CloseMaster(); }

    const std::string& device() const { return device_; }
    void CloseMaster() {
        if (master_ >= 0) {
            ::close(master_);
            master_ = -1;
        }
    }
    void Send(const std::string& bytes) {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    std::string Receive(std::size_t count) {
        std::string bytes;
        while (bytes.size() < count) {
            pollfd entry{master_, POLLIN, 0};
            if (::poll(&entry, 1, 2000) <= 0) {
                break;
            }
            char buffer[256];
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            bytes.append(buffer, static_cast<std::size_t>(n));
        }
        return bytes;
    }

  private:
    int master_ = -1;
    std::string device_;
};

std::string ReadAll(PosixSerialPort& port, std::size_t count) {
    std::string bytes;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (bytes.size() < count && std::chrono::steady_clock::now() < deadline) {
        port.WaitReadable(100);
        std::uint8_t buffer[64];
        const int n = port.Read(buffer, sizeof buffer);
        if (n < 0) {
            break;
        }
        bytes.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(n));
    }
    return bytes;
}

class PosixSerialPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (pty_.device().empty()) {
            GTEST_SKIP() << "no pseudo-terminal available";
        }
    }
    PseudoTerminal pty_;
    PosixSerialPort port_;
};

TEST_F(PosixSerialPortTest, CarriesEveryByteUntouchedBothWays) {
    ASSERT_EQ(port_.Open(pty_.device()), 0);
    std::uint8_t buffer[8];
    EXPECT_EQ(port_.Read(buffer, sizeof buffer), 0);  // nothing queued: at once, no failure

    const std::string to_mcu("$R\r\n\x00\xFF\x03\n", 8);
    ASSERT_TRUE(port_.Write(reinterpret_cast<const std::uint8_t*>(to_mcu.data()), to_mcu.size()));
    EXPECT_EQ(pty_.Receive(to_mcu.size()), to_mcu);

    const std::string from_mcu("@\r\n\x11\x13\x7F\x00\xFF\x04", 9);
    pty_.Send(from_mcu);
    EXPECT_EQ(ReadAll(port_, from_mcu.size()), from_mcu);
}

TEST_F(PosixSerialPortTest, ASecondOpenerIsRefusedUntilTheFirstCloses) {
    ASSERT_EQ(port_.Open(pty_.device()), 0);
    PosixSerialPort second;
    const int error = second.Open(pty_.device());
    EXPECT_TRUE(error == EBUSY || error == EWOULDBLOCK) << std::strerror(error);
    EXPECT_FALSE(second.IsOpen());

    port_.Close();
    EXPECT_EQ(second.Open(pty_.device()), 0);
}

TEST_F(PosixSerialPortTest, AVanishedDeviceFailsReadsAndEndsWaits) {
    ASSERT_EQ(port_.Open(pty_.device()), 0);
    pty_.CloseMaster();
    const auto before = std::chrono::steady_clock::now();
    port_.WaitReadable(1000);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(500));
    std::uint8_t byte = 0;
    EXPECT_EQ(port_.Read(&byte, 1), -1);
}

TEST_F(PosixSerialPortTest, AWriteNobodyTakesGivesUpAtItsBound) {
    ASSERT_EQ(port_.Open(pty_.device()), 0);
    ASSERT_TRUE(port_.SetTimeouts(100));
    const std::vector<std::uint8_t> block(1 << 20, 0x55);
    auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(port_.Write(block.data(), block.size()));
    const auto took = std::chrono::steady_clock::now() - before;
    EXPECT_GE(took, std::chrono::milliseconds(100));
    EXPECT_LT(took, std::chrono::milliseconds(2000));

    // Waiting for the output to leave keeps the same bound.
    before = std::chrono::steady_clock::now();
    EXPECT_TRUE(port_.Purge());
    port_.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(2000));
}

// A write returns once its bytes are queued, not once they have gone. The far end here reads
// nothing before the purge: its line discipline takes 4 KiB, the rest waits in the
// pseudo-terminal, where an output flush would throw it away; and bytes just written may not
// have been handed on yet at all. The purge must discard only the stale input.
TEST_F(PosixSerialPortTest, APurgeRightAfterAWriteKeepsTheOutputAndDropsStaleInput) {
    ASSERT_EQ(port_.Open(pty_.device()), 0);
    pty_.Send("stale");
    port_.WaitReadable(2000);

    std::string block(8192, '\0');
    for (std::size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<char>('A' + i % 26);
    }
    ASSERT_TRUE(port_.Write(reinterpret_cast<const std::uint8_t*>(block.data()), block.size()));
    ASSERT_TRUE(port_.Purge());
    std::uint8_t byte = 0;
    EXPECT_EQ(port_.Read(&byte, 1), 0) << "the stale input is gone";
    EXPECT_EQ(pty_.Receive(block.size()), block);

    // A command purged at once, as SendPrelude does, again and again.
    for (int i = 0; i < 50; ++i) {
        std::string command = "$";
        command += std::to_string(i);
        command += "\r\n";
        ASSERT_TRUE(
            port_.Write(reinterpret_cast<const std::uint8_t*>(command.data()), command.size()));
        ASSERT_TRUE(port_.Purge());
        ASSERT_EQ(pty_.Receive(command.size()), command) << i;
    }
}

// What an ending session relies on: a cancel from another thread ends the wait or pause under
// way, and every later wait, pause or write into a full line returns at once.
TEST_F(PosixSerialPortTest, CancelledWaitsEndAtOnce) {
    using std::chrono::milliseconds;
    using std::chrono::steady_clock;
    ASSERT_EQ(port_.Open(pty_.device()), 0);
    ASSERT_TRUE(port_.SetTimeouts(10000));
    std::thread canceller([this] {
        std::this_thread::sleep_for(milliseconds(100));
        port_.CancelWaits();
    });
    auto before = steady_clock::now();
    port_.Pause(10000);
    EXPECT_LT(steady_clock::now() - before, milliseconds(2000));
    canceller.join();

    before = steady_clock::now();
    port_.WaitReadable(10000);
    port_.Pause(10000);
    const std::vector<std::uint8_t> block(1 << 20, 0x55);
    EXPECT_FALSE(port_.Write(block.data(), block.size()));
    EXPECT_TRUE(port_.Purge());
    EXPECT_LT(steady_clock::now() - before, milliseconds(1000));

    // Reads still take what is queued.
    pty_.Send("A");
    EXPECT_EQ(ReadAll(port_, 1), "A");
}

// The device as another program sees it: its terminal settings.
termios DeviceSettings(const std::string& device) {
    termios tio{};
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    EXPECT_EQ(::tcgetattr(fd, &tio), 0);
    ::close(fd);
    return tio;
}

TEST_F(PosixSerialPortTest, LinkOpenSetsTheFiveFieldsAndKeepsTheRestOfTheTermios) {
    const termios device_before = DeviceSettings(pty_.device());
    ASSERT_EQ(port_.Open(pty_.device()), 0);
    LineSettings before;
    ASSERT_TRUE(port_.GetLineSettings(before));
    port_.Close();

    RealClock clock;
    Report report;
    LinkContext context(port_, clock, report);
    CAsciiLink link(context);
    ASSERT_EQ(link.Open(pty_.device(), 19200), kOpenOk);
    LineSettings after;
    ASSERT_TRUE(port_.GetLineSettings(after));
    EXPECT_EQ(after.baud_rate, 19200u);
    EXPECT_EQ(after.byte_size, 8);
    EXPECT_EQ(after.parity, 0);
    EXPECT_EQ(after.stop_bits, 0);

    termios old_tio{};
    termios new_tio{};
    std::memcpy(&old_tio, before.driver_state.data(), sizeof old_tio);
    std::memcpy(&new_tio, after.driver_state.data(), sizeof new_tio);
    EXPECT_EQ(new_tio.c_iflag, old_tio.c_iflag);
    EXPECT_EQ(new_tio.c_oflag, old_tio.c_oflag);
    EXPECT_EQ(new_tio.c_lflag, old_tio.c_lflag);
    EXPECT_EQ(new_tio.c_cflag & ~(CBAUD | CSIZE | PARENB | PARODD | CSTOPB),
              old_tio.c_cflag & ~(CBAUD | CSIZE | PARENB | PARODD | CSTOPB));
    EXPECT_EQ(std::memcmp(new_tio.c_cc, old_tio.c_cc, sizeof old_tio.c_cc), 0);

    // Closed, the device has its own settings back (echo, canonical input, its speed), once
    // what was written has left it.
    link.Close();
    EXPECT_EQ(last_settings_action, TCSADRAIN);
    const termios device_after = DeviceSettings(pty_.device());
    EXPECT_EQ(device_after.c_iflag, device_before.c_iflag);
    EXPECT_EQ(device_after.c_oflag, device_before.c_oflag);
    EXPECT_EQ(device_after.c_lflag, device_before.c_lflag);
    EXPECT_EQ(device_after.c_cflag, device_before.c_cflag);
}

TEST(PosixSerialPortOpen, RefusesMissingDevicesAndFilesThatAreNoSerialPort) {
    testing::TempDir dir;
    PosixSerialPort port;
    EXPECT_EQ(port.Open((dir.path() / "ttyS9").string()), ENOENT);
    EXPECT_EQ(port.Open(dir.Write("plain", "data")), ENOTTY);
    EXPECT_FALSE(port.IsOpen());
}

}  // namespace
}  // namespace velkor
