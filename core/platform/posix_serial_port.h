// The serial port of a Linux host: a termios character device (a UART, a USB adapter or a
// pseudo-terminal) opened for this program alone.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include <termios.h>

#include "platform/serial_port.h"

namespace velkor {

class PosixSerialPort final : public SerialPort {
  public:
    // Creates the signal that cancels the waits; without it (no eventfd) a cancel still ends
    // every later wait at once, but a wait under way runs to its end.
    PosixSerialPort();
    ~PosixSerialPort() override;
    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;

    // Opens the device non-blocking and exclusively (TIOCEXCL against other openers, a
    // non-blocking flock against programs that bypass TIOCEXCL), and puts the line into raw
    // mode so that every byte passes untouched. A port already open here is closed first.
    int Open(const std::string& device) override;
    bool IsOpen() const override { return fd_ >= 0; }
    // Gives the output time to leave (as Purge does), gives the device back the terminal
    // settings it had before Open, then closes.
    void Close() override;

    // The driver's buffers have a fixed size: the request is accepted.
    bool SetQueueSizes(std::size_t input, std::size_t output) override;
    // Waits, at most the write time-out, until the driver holds no more output (TIOCOUTQ is 0
    // and, on a UART that tells, the transmitter is empty), then flushes the input. Output is
    // flushed too only when it could not leave in time: once it has gone there is nothing to
    // discard on a UART, while on a pseudo-terminal, which reports nothing queued but hands
    // bytes to its other side a moment later, an output flush throws away bytes written.
    bool Purge() override;
    // Accepted and remembered; nothing on Linux waits for comm events.
    bool SetEventMask(std::uint32_t mask) override;
    // driver_state holds the whole termios, so SetLineSettings writes every field that is not
    // named in LineSettings back exactly as GetLineSettings reported it.
    bool GetLineSettings(LineSettings& settings) override;
    bool SetLineSettings(const LineSettings& settings) override;
    // 0 means that writes wait without a bound.
    bool SetTimeouts(std::uint32_t write_timeout_ms) override;

    int Read(std::uint8_t* buffer, std::size_t size) override;
    bool Write(const std::uint8_t* data, std::size_t size) override;
    // One poll() that wakes for a byte, a hang-up or a cancel: an idle wait costs no CPU.
    void WaitReadable(std::uint32_t ms) override;
    void Pause(std::uint32_t ms) override;
    // Async-signal-safe as well: sets a flag and signals an eventfd that is never read back.
    void CancelWaits() override;

    std::uint32_t event_mask() const { return event_mask_; }

  private:
    using Deadline = std::chrono::steady_clock::time_point;
    enum class WaitEnd { kReady, kTimedOut, kCancelled, kFailed };

    // True when the device reports a hang-up or an error condition.
    bool HasHungUp() const;
    // Waits until `fd` shows one of `events` (a negative fd: never), the deadline passes (no
    // deadline: none) or the waits are cancelled. `revents` receives what fd showed.
    WaitEnd Wait(int fd, short events, const Deadline* deadline, short* revents = nullptr);
    // Bytes the driver still has to send; 0 when it cannot tell.
    int QueuedOutput() const;
    // Waits until the output has left the driver; false when it had not within the write
    // time-out, or the waits were cancelled.
    bool DrainOutput();

    int fd_ = -1;
    termios original_{};  // the device's settings before Open
    int cancel_fd_ = -1;  // eventfd, readable once the waits are cancelled
    std::atomic<bool> cancelled_{false};
    std::uint32_t event_mask_ = 0;
    std::uint32_t write_timeout_ms_ = 5000;
};

}  // namespace velkor
