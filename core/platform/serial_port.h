// The serial device that joins the tool to the MCU, behind an interface so that tests and the
// in-process simulator can stand in for a real device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velkor {

// Line settings as the driver reports them. The link changes only the named fields; whatever
// else the driver reported travels in `driver_state` and is written back unchanged.
struct LineSettings {
    std::uint32_t baud_rate = 0;
    std::uint8_t byte_size = 8;
    std::uint8_t parity = 0;       // 0: none
    std::uint8_t stop_bits = 0;    // 0: one stop bit
    std::uint8_t dtr_control = 0;  // 0: DTR off
    std::vector<std::uint8_t> driver_state;
};

class SerialPort {
  public:
    virtual ~SerialPort() = default;

    // Opens `device` read-write for this program alone. Returns 0, or an errno value.
    virtual int Open(const std::string& device) = 0;
    virtual bool IsOpen() const = 0;
    // Lets what was written leave first (see Purge), then closes. Closing a port that is not
    // open does nothing.
    virtual void Close() = 0;

    virtual bool SetQueueSizes(std::size_t input, std::size_t output) = 0;
    // Discards whatever waits in both directions. A write returns once its bytes are queued,
    // not once they have gone, so output written before is first given time to leave, at most
    // the write time-out: the purge then throws away stale input, as it did where a write
    // returned only when its bytes had gone. Waits are not added to every write.
    virtual bool Purge() = 0;
    virtual bool SetEventMask(std::uint32_t mask) = 0;
    virtual bool GetLineSettings(LineSettings& settings) = 0;
    virtual bool SetLineSettings(const LineSettings& settings) = 0;
    // Reads return at once with what is queued; a write gives up after `write_timeout_ms`.
    virtual bool SetTimeouts(std::uint32_t write_timeout_ms) = 0;

    // Takes what is queued without waiting: the number of bytes read (0 when none), or -1 when
    // the read failed (for instance the device vanished).
    virtual int Read(std::uint8_t* buffer, std::size_t size) = 0;
    // Writes the whole block, or fails once the write time-out has passed or the waits have
    // been cancelled.
    virtual bool Write(const std::uint8_t* data, std::size_t size) = 0;
    // Waits at most `ms` milliseconds, returning early as soon as a byte can be read, the
    // device hangs up or fails, or the waits have been cancelled.
    virtual void WaitReadable(std::uint32_t ms) = 0;
    // Waits `ms` milliseconds whatever the line does, returning early only once the waits have
    // been cancelled: the pauses of the dialects and procedures.
    virtual void Pause(std::uint32_t ms) = 0;
    // Callable from any thread, for a session that is ending: the wait under way (WaitReadable,
    // Pause, a write or a purge waiting for the line) ends within a few milliseconds, and every
    // later one returns at once, for the rest of this object's life. Reads still take what is
    // queued and Close still closes.
    virtual void CancelWaits() = 0;
};

}  // namespace velkor
