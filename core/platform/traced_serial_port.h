// A serial port that shows every byte it writes and reads, for velkor-flash --trace.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/serial_port.h"

namespace velkor {

// Passes every operation to the port it wraps and gives each run of bytes to `line_out` as
// one line, "   512 ms host -> MCU: 24 52 0D 0A |$R..|", with the milliseconds since the
// wrapper was made. The link writes commands a byte at a time and reads replies a byte at a
// time, so a run gathers the bytes written one after another, or read until a read finds
// nothing queued; it is shown once it ends (the other direction, a read that finds nothing,
// a pause, a purge, a close, or Flush). Bytes a purge discards unread were never received
// and are not shown.
//
// Belongs to the thread of its session, as the port does; only CancelWaits may come from
// another thread. Neither port nor clock is owned.
class TracedSerialPort final : public SerialPort {
  public:
    using LineOut = std::function<void(std::string_view line)>;

    TracedSerialPort(SerialPort& port, Clock& clock, LineOut line_out);
    ~TracedSerialPort() override;
    TracedSerialPort(const TracedSerialPort&) = delete;
    TracedSerialPort& operator=(const TracedSerialPort&) = delete;

    // Shows the run under way, if any: before other log text, so that the log keeps the order
    // of events.
    void Flush();

    int Open(const std::string& device) override;
    bool IsOpen() const override;
    void Close() override;
    bool SetQueueSizes(std::size_t input, std::size_t output) override;
    bool Purge() override;
    bool SetEventMask(std::uint32_t mask) override;
    bool GetLineSettings(LineSettings& settings) override;
    bool SetLineSettings(const LineSettings& settings) override;
    bool SetTimeouts(std::uint32_t write_timeout_ms) override;
    int Read(std::uint8_t* buffer, std::size_t size) override;
    bool Write(const std::uint8_t* data, std::size_t size) override;
    void WaitReadable(std::uint32_t ms) override;
    void Pause(std::uint32_t ms) override;
    void CancelWaits() override;

  private:
    enum class Direction { kNone, kToMcu, kToMcuFailed, kFromMcu };

    static std::string_view DirectionText(Direction direction);
    // Adds to the run in `direction`, ending any other first; `at_ms` starts a new run.
    void Add(Direction direction, std::uint32_t at_ms, const std::uint8_t* bytes,
             std::size_t count);

    SerialPort& port_;
    Clock& clock_;
    LineOut line_out_;
    const std::uint32_t start_ms_;
    Direction run_direction_ = Direction::kNone;
    std::uint32_t run_start_ms_ = 0;
    std::vector<std::uint8_t> run_;
};

}  // namespace velkor
