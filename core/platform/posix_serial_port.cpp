#include "platform/posix_serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace velkor {
namespace {

struct BaudSpeed {
    std::uint32_t baud;
    speed_t speed;
};

constexpr BaudSpeed kBaudSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

struct ByteSizeFlag {
    std::uint8_t bits;
    tcflag_t flag;
};

constexpr ByteSizeFlag kByteSizes[] = {{5, CS5}, {6, CS6}, {7, CS7}, {8, CS8}};

// Parity and stop-bit codes of LineSettings.
enum ParityCode : std::uint8_t { kParityNone = 0, kParityOdd = 1, kParityEven = 2 };
enum StopBitsCode : std::uint8_t { kStopBitsOne = 0, kStopBitsTwo = 2 };

std::uint32_t BaudOf(speed_t speed) {
    for (const auto& entry : kBaudSpeeds) {
        if (entry.speed == speed) {
            return entry.baud;
        }
    }
    return 0;
}

bool SpeedOf(std::uint32_t baud, speed_t& speed) {
    for (const auto& entry : kBaudSpeeds) {
        if (entry.baud == baud) {
            speed = entry.speed;
            return true;
        }
    }
    return false;
}

std::uint8_t ParityOf(tcflag_t cflag) {
    if ((cflag & PARENB) == 0) {
        return kParityNone;
    }
    return (cflag & PARODD) != 0 ? kParityOdd : kParityEven;
}

bool ApplyParity(std::uint8_t parity, tcflag_t& cflag) {
    cflag &= ~(PARENB | PARODD | CMSPAR);
    switch (parity) {
        case kParityNone:
            return true;
        case kParityOdd:
            cflag |= PARENB | PARODD;
            return true;
        case kParityEven:
            cflag |= PARENB;
            return true;
        default:
            return false;  // mark and space parity are not offered
    }
}

// A device without modem lines (a pseudo-terminal) refuses modem ioctls; that is not an error.
bool IsWithoutModemLines(int error) {
    return error == ENOTTY || error == EINVAL;
}

// Bytes pass untouched in both directions; a read of an empty queue fails with EAGAIN rather
// than returning 0, so that 0 keeps meaning end of file.
void MakeRaw(termios& tio) {
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
}

int RemainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

std::chrono::steady_clock::time_point DeadlineIn(std::uint32_t ms) {
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

constexpr std::uint32_t kBitsPerByte = 10;  // start bit, 8 data bits, stop bit

}  // namespace

PosixSerialPort::PosixSerialPort() : cancel_fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

PosixSerialPort::~PosixSerialPort() {
    Close();
    if (cancel_fd_ >= 0) {
        ::close(cancel_fd_);
    }
}

int PosixSerialPort::Open(const std::string& device) {
    Close();
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    // The lock comes before TIOCEXCL so that a refused open leaves the holder's port as it was.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0 || ::ioctl(fd, TIOCEXCL) != 0) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    // What the device had, given back on close: ComPort may name any terminal.
    original_ = tio;
    MakeRaw(tio);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        const int error = errno;
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return error;
    }
    fd_ = fd;
    return 0;
}

void PosixSerialPort::Close() {
    if (fd_ < 0) {
        return;
    }
    // The last command (an end record, say) must reach the line before the port goes. What
    // cannot leave within the write time-out, or once the waits are cancelled, is given up.
    // The driver's queue may be empty while a USB adapter still holds the tail, so the restore
    // (which may change the rate) waits for the device to send it too; output that was given
    // up would hold that wait for ever, so the settings then change at once.
    const bool drained = DrainOutput();
    ::tcsetattr(fd_, drained ? TCSADRAIN : TCSANOW, &original_);
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);  // also releases the flock; never retried, the descriptor is gone either way
    fd_ = -1;
}

bool PosixSerialPort::SetQueueSizes(std::size_t /*input*/, std::size_t /*output*/) {
    return IsOpen();
}

bool PosixSerialPort::Purge() {
    if (!IsOpen()) {
        return false;
    }
    const bool output_gone = DrainOutput();
    return ::tcflush(fd_, output_gone ? TCIFLUSH : TCIOFLUSH) == 0;
}

int PosixSerialPort::QueuedOutput() const {
    int queued = 0;
    // A driver that cannot count (or a pseudo-terminal, which always says 0) holds nothing
    // this wait could help.
    if (::ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued < 0) {
        queued = 0;
    }
    if (queued == 0) {
        // A UART's FIFO and shift register are not counted by TIOCOUTQ; a UART whose driver
        // reports its line status says whether they are empty. Other devices refuse: fine.
        unsigned int line_status = 0;
        if (::ioctl(fd_, TIOCSERGETLSR, &line_status) == 0 && (line_status & TIOCSER_TEMT) == 0) {
            return 1;
        }
    }
    return queued;
}

bool PosixSerialPort::DrainOutput() {
    const bool bounded = write_timeout_ms_ != 0;
    const Deadline deadline = DeadlineIn(write_timeout_ms_);
    for (;;) {
        const int queued = QueuedOutput();
        if (queued == 0) {
            return true;
        }
        // Check again when the queued bytes should have gone at the line's speed.
        termios tio{};
        const std::uint32_t baud = ::tcgetattr(fd_, &tio) == 0 ? BaudOf(::cfgetospeed(&tio)) : 0;
        std::uint32_t step_ms = 1;
        if (baud != 0) {
            step_ms = std::max<std::uint32_t>(
                1, static_cast<std::uint32_t>(static_cast<std::uint64_t>(queued) * kBitsPerByte *
                                              1000 / baud));
        }
        if (bounded) {
            const int left = RemainingMs(deadline);
            if (left == 0) {
                return false;  // stuck (flow control, a line that does not send): give it up
            }
            step_ms = std::min(step_ms, static_cast<std::uint32_t>(left));
        }
        const Deadline step = DeadlineIn(step_ms);
        if (Wait(-1, 0, &step) == WaitEnd::kCancelled) {
            return false;
        }
    }
}

bool PosixSerialPort::SetEventMask(std::uint32_t mask) {
    if (!IsOpen()) {
        return false;
    }
    event_mask_ = mask;
    return true;
}

bool PosixSerialPort::GetLineSettings(LineSettings& settings) {
    termios tio{};
    if (!IsOpen() || ::tcgetattr(fd_, &tio) != 0) {
        return false;
    }
    settings.baud_rate = BaudOf(::cfgetospeed(&tio));
    settings.byte_size = 8;
    for (const auto& entry : kByteSizes) {
        if ((tio.c_cflag & CSIZE) == entry.flag) {
            settings.byte_size = entry.bits;
        }
    }
    settings.parity = ParityOf(tio.c_cflag);
    settings.stop_bits = (tio.c_cflag & CSTOPB) != 0 ? kStopBitsTwo : kStopBitsOne;
    int lines = 0;
    settings.dtr_control = (::ioctl(fd_, TIOCMGET, &lines) == 0 && (lines & TIOCM_DTR) != 0);
    const auto* raw = reinterpret_cast<const std::uint8_t*>(&tio);
    settings.driver_state.assign(raw, raw + sizeof tio);
    return true;
}

bool PosixSerialPort::SetLineSettings(const LineSettings& settings) {
    if (!IsOpen()) {
        return false;
    }
    termios tio{};
    if (settings.driver_state.size() == sizeof tio) {
        std::memcpy(&tio, settings.driver_state.data(), sizeof tio);
    } else if (::tcgetattr(fd_, &tio) != 0) {
        return false;
    }
    speed_t speed = 0;
    if (!SpeedOf(settings.baud_rate, speed) || ::cfsetispeed(&tio, speed) != 0 ||
        ::cfsetospeed(&tio, speed) != 0) {
        errno = EINVAL;
        return false;
    }
    bool size_known = false;
    for (const auto& entry : kByteSizes) {
        if (entry.bits == settings.byte_size) {
            tio.c_cflag = (tio.c_cflag & ~CSIZE) | entry.flag;
            size_known = true;
        }
    }
    if (!size_known || !ApplyParity(settings.parity, tio.c_cflag)) {
        errno = EINVAL;
        return false;
    }
    if (settings.stop_bits == kStopBitsOne) {
        tio.c_cflag &= ~CSTOPB;
    } else if (settings.stop_bits == kStopBitsTwo) {
        tio.c_cflag |= CSTOPB;
    } else {
        errno = EINVAL;  // one and a half stop bits do not exist here
        return false;
    }
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) {
        return false;
    }
    const int dtr = TIOCM_DTR;
    if (::ioctl(fd_, settings.dtr_control == 0 ? TIOCMBIC : TIOCMBIS, &dtr) != 0 &&
        !IsWithoutModemLines(errno)) {
        return false;
    }
    return true;
}

bool PosixSerialPort::SetTimeouts(std::uint32_t write_timeout_ms) {
    if (!IsOpen()) {
        return false;
    }
    write_timeout_ms_ = write_timeout_ms;
    return true;
}

bool PosixSerialPort::HasHungUp() const {
    pollfd entry{fd_, POLLIN, 0};
    return ::poll(&entry, 1, 0) > 0 && (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

int PosixSerialPort::Read(std::uint8_t* buffer, std::size_t size) {
    if (!IsOpen()) {
        return -1;
    }
    if (size == 0) {
        return 0;
    }
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, size);
        if (n > 0) {
            return static_cast<int>(n);
        }
        if (n == 0) {
            // End of file after a hang-up; with settings that return 0 for an empty queue
            // the device is still there.
            return HasHungUp() ? -1 : 0;
        }
        if (errno == EINTR) {
            continue;
        }
        return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
    }
}

bool PosixSerialPort::Write(const std::uint8_t* data, std::size_t size) {
    if (!IsOpen()) {
        return false;
    }
    const bool bounded = write_timeout_ms_ != 0;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(write_timeout_ms_);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd_, data + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return false;
        }
        // The driver's buffer is full: wait for room, but never past the bound.
        if (bounded && RemainingMs(deadline) == 0) {
            return false;
        }
        short revents = 0;
        switch (Wait(fd_, POLLOUT, bounded ? &deadline : nullptr, &revents)) {
            case WaitEnd::kReady:
                if ((revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                    return false;
                }
                break;
            case WaitEnd::kTimedOut:
                break;  // the bound is checked above
            case WaitEnd::kCancelled:
            case WaitEnd::kFailed:
                return false;
        }
    }
    return true;
}

PosixSerialPort::WaitEnd PosixSerialPort::Wait(int fd, short events, const Deadline* deadline,
                                               short* revents) {
    for (;;) {
        if (cancelled_.load()) {
            return WaitEnd::kCancelled;
        }
        // A negative descriptor is ignored by poll(): without the port, or without the
        // eventfd, the wait is a plain sleep.
        pollfd entries[2] = {{fd, events, 0}, {cancel_fd_, POLLIN, 0}};
        const int timeout_ms = deadline != nullptr ? RemainingMs(*deadline) : -1;
        const int ready = ::poll(entries, 2, timeout_ms);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return WaitEnd::kFailed;
        }
        if (entries[1].revents != 0) {
            return WaitEnd::kCancelled;
        }
        if (entries[0].revents != 0) {
            if (revents != nullptr) {
                *revents = entries[0].revents;
            }
            return WaitEnd::kReady;
        }
        if (deadline != nullptr && RemainingMs(*deadline) == 0) {
            return WaitEnd::kTimedOut;
        }
        // Woken before the deadline with nothing to show: wait for the rest.
    }
}

void PosixSerialPort::WaitReadable(std::uint32_t ms) {
    const Deadline deadline = DeadlineIn(ms);
    Wait(IsOpen() ? fd_ : -1, POLLIN, &deadline);
}

void PosixSerialPort::Pause(std::uint32_t ms) {
    const Deadline deadline = DeadlineIn(ms);
    Wait(-1, 0, &deadline);
}

void PosixSerialPort::CancelWaits() {
    cancelled_.store(true);
    if (cancel_fd_ >= 0) {
        const std::uint64_t one = 1;
        // Never read back: the eventfd stays readable and wakes every poll from now on.
        [[maybe_unused]] const auto written = ::write(cancel_fd_, &one, sizeof one);
    }
}

}  // namespace velkor
