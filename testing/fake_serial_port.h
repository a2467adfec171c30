// A scripted serial port on virtual time, for unit tests and the in-process simulator.
//
// Bytes are scheduled to arrive at given virtual milliseconds; WaitReadable moves the virtual
// clock to the next arrival or the moment reads start failing (or by the full wait when
// neither comes in time), and Pause by the whole pause, so waits of many seconds cost nothing
// and are exact to the millisecond. Every write and purge is recorded with its virtual time,
// every call can be made to fail, and a write hook lets a simulated MCU answer what the tool
// sends.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/serial_port.h"

namespace velkor {

class FakeSerialPort : public SerialPort {
  public:
    struct WriteRecord {
        std::uint32_t at_ms;
        std::vector<std::uint8_t> bytes;
    };

    // Calls to make fail. Each stays in force until cleared; set them before the port is
    // shared with another thread.
    struct Faults {
        int open_error = 0;  // the errno Open returns; 0 opens
        bool queue_sizes = false;
        bool purge = false;
        bool event_mask = false;
        bool get_settings = false;
        bool set_settings = false;
        bool timeouts = false;
        bool read = false;
        std::optional<std::uint32_t> read_from_ms;  // reads fail from this virtual time on
        bool write = false;
        std::size_t writes_to_fail = 0;  // the next this many writes fail, later ones work
    };

    // Called after each successful write, outside the port's lock, so it may schedule replies.
    using WriteHook = std::function<void(FakeSerialPort& port, std::span<const std::uint8_t>)>;

    explicit FakeSerialPort(VirtualClock& clock);

    int Open(const std::string& device) override;
    bool IsOpen() const override;
    void Close() override;
    bool SetQueueSizes(std::size_t input, std::size_t output) override;
    // Discards the bytes that have arrived; bytes scheduled for later still come.
    bool Purge() override;
    bool SetEventMask(std::uint32_t mask) override;
    bool GetLineSettings(LineSettings& settings) override;
    bool SetLineSettings(const LineSettings& settings) override;
    bool SetTimeouts(std::uint32_t write_timeout_ms) override;
    int Read(std::uint8_t* buffer, std::size_t size) override;
    bool Write(const std::uint8_t* data, std::size_t size) override;
    void WaitReadable(std::uint32_t ms) override;
    // Moves the virtual clock on by `ms`, whatever arrives meanwhile.
    void Pause(std::uint32_t ms) override;
    // From then on WaitReadable and Pause return at once without moving the clock.
    void CancelWaits() override;
    bool waits_cancelled() const;
    // How many times WaitReadable was called: how often a waiting loop woke.
    std::size_t wait_count() const;

    // Scheduling of incoming bytes, at an absolute virtual time or after a delay from now.
    void ArriveAt(std::uint32_t at_ms, std::span<const std::uint8_t> bytes);
    void ArriveAt(std::uint32_t at_ms, std::string_view bytes);
    void ArriveAfter(std::uint32_t delay_ms, std::span<const std::uint8_t> bytes);
    void ArriveAfter(std::uint32_t delay_ms, std::string_view bytes);

    void SetWriteHook(WriteHook hook);
    Faults& faults() { return faults_; }

    // What the driver reports before any change; SetLineSettings replaces it.
    void SetDriverSettings(const LineSettings& settings);

    std::vector<WriteRecord> writes() const;
    // Every byte written, in order.
    std::vector<std::uint8_t> written_bytes() const;
    std::vector<std::uint32_t> purges() const;
    std::size_t pending_bytes() const;
    std::optional<LineSettings> applied_settings() const;
    std::string opened_device() const;
    std::uint32_t event_mask() const;
    std::uint32_t write_timeout_ms() const;
    int open_count() const;

    VirtualClock& clock() { return clock_; }

  private:
    struct Arrival {
        std::uint32_t at_ms;
        std::uint8_t byte;
    };

    // True when `at_ms` is not later than now; differences taken as on a wrapping tick.
    bool HasArrived(std::uint32_t at_ms) const;

    VirtualClock& clock_;
    mutable std::mutex mutex_;
    std::deque<Arrival> incoming_;  // ordered by arrival time
    std::vector<WriteRecord> writes_;
    std::vector<std::uint32_t> purges_;
    Faults faults_;
    WriteHook write_hook_;
    LineSettings driver_settings_;
    std::optional<LineSettings> applied_settings_;
    std::string device_;
    bool open_ = false;
    bool waits_cancelled_ = false;
    std::size_t wait_count_ = 0;
    int open_count_ = 0;
    std::uint32_t event_mask_ = 0;
    std::uint32_t write_timeout_ms_ = 0;
};

}  // namespace velkor
