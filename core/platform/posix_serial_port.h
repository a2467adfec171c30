// The serial port of a Linux host: a termios character device (a UART, a USB adapter or a
// pseudo-terminal) opened for this program alone.
#pragma once

#include <cstdint>

#include "platform/serial_port.h"

namespace velkor {

class PosixSerialPort final : public SerialPort {
  public:
    PosixSerialPort() = default;
    ~PosixSerialPort() override;
    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;

    // Opens the device non-blocking and exclusively (TIOCEXCL against other openers, a
    // non-blocking flock against programs that bypass TIOCEXCL), and puts the line into raw
    // mode so that every byte passes untouched. A port already open here is closed first.
    int Open(const std::string& device) override;
    bool IsOpen() const override { return fd_ >= 0; }
    void Close() override;

    // The driver's buffers have a fixed size: the request is accepted.
    bool SetQueueSizes(std::size_t input, std::size_t output) override;
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
    void WaitReadable(std::uint32_t ms) override;

    std::uint32_t event_mask() const { return event_mask_; }

  private:
    // True when the device reports a hang-up or an error condition.
    bool HasHungUp() const;

    int fd_ = -1;
    std::uint32_t event_mask_ = 0;
    std::uint32_t write_timeout_ms_ = 5000;
};

}  // namespace velkor
