#include "platform/traced_serial_port.h"

#include <cstdio>
#include <utility>

#include "platform/traffic_text.h"

namespace velkor {
TracedSerialPort::TracedSerialPort(SerialPort& port, Clock& clock, LineOut line_out)
    : port_(port), clock_(clock), line_out_(std::move(line_out)), start_ms_(clock.NowMs()) {}

TracedSerialPort::~TracedSerialPort() {
    Flush();
}

std::string_view TracedSerialPort::DirectionText(Direction direction) {
    switch (direction) {
        case Direction::kToMcu:
            return "host -> MCU";
        case Direction::kToMcuFailed:
            return "host -> MCU, not all sent";
        default:
            return "MCU -> host";
    }
}

void TracedSerialPort::Flush() {
    if (run_.empty()) {
        return;
    }
    char stamp[24];
    std::snprintf(stamp, sizeof stamp, "%6u ms ", static_cast<unsigned>(run_start_ms_ - start_ms_));
    std::string line(stamp);
    line += TrafficText(DirectionText(run_direction_), run_);
    run_.clear();
    run_direction_ = Direction::kNone;
    if (line_out_) {
        line_out_(line);
    }
}

void TracedSerialPort::Add(Direction direction, std::uint32_t at_ms, const std::uint8_t* bytes,
                           std::size_t count) {
    if (direction != run_direction_) {
        Flush();
        run_direction_ = direction;
        run_start_ms_ = at_ms;
    }
    run_.insert(run_.end(), bytes, bytes + count);
}

int TracedSerialPort::Open(const std::string& device) {
    Flush();
    return port_.Open(device);
}

bool TracedSerialPort::IsOpen() const {
    return port_.IsOpen();
}

void TracedSerialPort::Close() {
    Flush();
    port_.Close();
}

bool TracedSerialPort::SetQueueSizes(std::size_t input, std::size_t output) {
    Flush();
    return port_.SetQueueSizes(input, output);
}

bool TracedSerialPort::Purge() {
    Flush();
    return port_.Purge();
}

bool TracedSerialPort::SetEventMask(std::uint32_t mask) {
    Flush();
    return port_.SetEventMask(mask);
}

bool TracedSerialPort::GetLineSettings(LineSettings& settings) {
    Flush();
    return port_.GetLineSettings(settings);
}

bool TracedSerialPort::SetLineSettings(const LineSettings& settings) {
    Flush();
    return port_.SetLineSettings(settings);
}

bool TracedSerialPort::SetTimeouts(std::uint32_t write_timeout_ms) {
    Flush();
    return port_.SetTimeouts(write_timeout_ms);
}

int TracedSerialPort::Read(std::uint8_t* buffer, std::size_t size) {
    const int count = port_.Read(buffer, size);
    if (count > 0) {
        Add(Direction::kFromMcu, clock_.NowMs(), buffer, static_cast<std::size_t>(count));
    } else {
        Flush();  // nothing queued (or the read failed): the run of received bytes has ended
    }
    return count;
}

bool TracedSerialPort::Write(const std::uint8_t* data, std::size_t size) {
    const std::uint32_t at_ms = clock_.NowMs();
    const bool written = port_.Write(data, size);
    // A failed write may have put part of the block on the wire, but which part is not known:
    // the block gets a line of its own that says so.
    Add(written ? Direction::kToMcu : Direction::kToMcuFailed, at_ms, data, size);
    if (!written) {
        Flush();
    }
    return written;
}

void TracedSerialPort::WaitReadable(std::uint32_t ms) {
    // Not the end of a run: the link waits between the bytes of a reply it takes one by one,
    // and a wait that finds nothing comes after a read that found nothing, which ended it.
    port_.WaitReadable(ms);
}

void TracedSerialPort::Pause(std::uint32_t ms) {
    Flush();
    port_.Pause(ms);
}

void TracedSerialPort::CancelWaits() {
    port_.CancelWaits();  // from any thread: the run is left to the session's own thread
}

}  // namespace velkor
