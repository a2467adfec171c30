#include "testing/fake_serial_port.h"

#include <algorithm>

namespace velkor {
namespace {

std::span<const std::uint8_t> AsBytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Signed distance from `from` to `to` on a wrapping 32-bit tick.
std::int32_t TickDistance(std::uint32_t from, std::uint32_t to) {
    return static_cast<std::int32_t>(to - from);
}

}  // namespace

FakeSerialPort::FakeSerialPort(VirtualClock& clock) : clock_(clock) {
    // A plausible driver default that differs from every value the link sets.
    driver_settings_.baud_rate = 9600;
    driver_settings_.byte_size = 7;
    driver_settings_.parity = 2;
    driver_settings_.stop_bits = 2;
    driver_settings_.dtr_control = 1;
    driver_settings_.driver_state = {0x11, 0x22, 0x33, 0x44};
}

bool FakeSerialPort::HasArrived(std::uint32_t at_ms) const {
    return TickDistance(at_ms, clock_.NowMs()) >= 0;
}

int FakeSerialPort::Open(const std::string& device) {
    std::lock_guard lock(mutex_);
    if (faults_.open_error != 0) {
        return faults_.open_error;
    }
    open_ = true;
    device_ = device;
    ++open_count_;
    return 0;
}

bool FakeSerialPort::IsOpen() const {
    std::lock_guard lock(mutex_);
    return open_;
}

void FakeSerialPort::Close() {
    std::lock_guard lock(mutex_);
    open_ = false;
}

bool FakeSerialPort::SetQueueSizes(std::size_t /*input*/, std::size_t /*output*/) {
    std::lock_guard lock(mutex_);
    return open_ && !faults_.queue_sizes;
}

bool FakeSerialPort::Purge() {
    std::lock_guard lock(mutex_);
    if (!open_ || faults_.purge) {
        return false;
    }
    std::erase_if(incoming_, [this](const Arrival& arrival) { return HasArrived(arrival.at_ms); });
    purges_.push_back(clock_.NowMs());
    return true;
}

bool FakeSerialPort::SetEventMask(std::uint32_t mask) {
    std::lock_guard lock(mutex_);
    if (!open_ || faults_.event_mask) {
        return false;
    }
    event_mask_ = mask;
    return true;
}

bool FakeSerialPort::GetLineSettings(LineSettings& settings) {
    std::lock_guard lock(mutex_);
    if (!open_ || faults_.get_settings) {
        return false;
    }
    settings = driver_settings_;
    return true;
}

bool FakeSerialPort::SetLineSettings(const LineSettings& settings) {
    std::lock_guard lock(mutex_);
    if (!open_ || faults_.set_settings) {
        return false;
    }
    driver_settings_ = settings;
    applied_settings_ = settings;
    return true;
}

bool FakeSerialPort::SetTimeouts(std::uint32_t write_timeout_ms) {
    std::lock_guard lock(mutex_);
    if (!open_ || faults_.timeouts) {
        return false;
    }
    write_timeout_ms_ = write_timeout_ms;
    return true;
}

int FakeSerialPort::Read(std::uint8_t* buffer, std::size_t size) {
    std::lock_guard lock(mutex_);
    if (!open_ || faults_.read || (faults_.read_from_ms && HasArrived(*faults_.read_from_ms))) {
        return -1;
    }
    std::size_t count = 0;
    while (count < size && !incoming_.empty() && HasArrived(incoming_.front().at_ms)) {
        buffer[count++] = incoming_.front().byte;
        incoming_.pop_front();
    }
    return static_cast<int>(count);
}

bool FakeSerialPort::Write(const std::uint8_t* data, std::size_t size) {
    WriteHook hook;
    {
        std::lock_guard lock(mutex_);
        if (!open_ || faults_.write) {
            return false;
        }
        if (faults_.writes_to_fail > 0) {
            --faults_.writes_to_fail;
            return false;
        }
        writes_.push_back({clock_.NowMs(), std::vector<std::uint8_t>(data, data + size)});
        hook = write_hook_;
    }
    if (hook) {
        hook(*this, std::span<const std::uint8_t>(data, size));
    }
    return true;
}

void FakeSerialPort::WaitReadable(std::uint32_t ms) {
    std::uint32_t advance = ms;
    {
        std::lock_guard lock(mutex_);
        ++wait_count_;
        if (waits_cancelled_) {
            return;
        }
        if (open_ && faults_.read) {
            return;  // a failing device wakes the wait at once, as a hang-up does
        }
        if (!incoming_.empty()) {
            const std::int32_t until_next = TickDistance(clock_.NowMs(), incoming_.front().at_ms);
            if (until_next <= 0) {
                return;  // a byte is already waiting
            }
            advance = std::min(ms, static_cast<std::uint32_t>(until_next));
        }
        if (open_ && faults_.read_from_ms) {
            // The line drops then: the wait ends there, as on a real device's hang-up.
            const std::int32_t until_drop = TickDistance(clock_.NowMs(), *faults_.read_from_ms);
            if (until_drop <= 0) {
                return;
            }
            advance = std::min(advance, static_cast<std::uint32_t>(until_drop));
        }
    }
    clock_.Advance(advance);
}

void FakeSerialPort::Pause(std::uint32_t ms) {
    {
        std::lock_guard lock(mutex_);
        if (waits_cancelled_) {
            return;
        }
    }
    clock_.Advance(ms);
}

void FakeSerialPort::CancelWaits() {
    std::lock_guard lock(mutex_);
    waits_cancelled_ = true;
}

bool FakeSerialPort::waits_cancelled() const {
    std::lock_guard lock(mutex_);
    return waits_cancelled_;
}

std::size_t FakeSerialPort::wait_count() const {
    std::lock_guard lock(mutex_);
    return wait_count_;
}

void FakeSerialPort::ArriveAt(std::uint32_t at_ms, std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    // After every byte due no later than at_ms, so bytes of equal time keep their order. Sought
    // from the back: scripts mostly come in time order, and a long one byte by byte (the fuzz
    // targets' slow lines) would otherwise cost the square of its length.
    auto position = std::find_if(incoming_.rbegin(), incoming_.rend(), [&](const Arrival& queued) {
                        return TickDistance(at_ms, queued.at_ms) <= 0;
                    }).base();
    for (std::uint8_t byte : bytes) {
        position = incoming_.insert(position, Arrival{at_ms, byte}) + 1;
    }
}

void FakeSerialPort::ArriveAt(std::uint32_t at_ms, std::string_view bytes) {
    ArriveAt(at_ms, AsBytes(bytes));
}

void FakeSerialPort::ArriveAfter(std::uint32_t delay_ms, std::span<const std::uint8_t> bytes) {
    ArriveAt(clock_.NowMs() + delay_ms, bytes);
}

void FakeSerialPort::ArriveAfter(std::uint32_t delay_ms, std::string_view bytes) {
    ArriveAfter(delay_ms, AsBytes(bytes));
}

void FakeSerialPort::SetWriteHook(WriteHook hook) {
    std::lock_guard lock(mutex_);
    write_hook_ = std::move(hook);
}

void FakeSerialPort::SetDriverSettings(const LineSettings& settings) {
    std::lock_guard lock(mutex_);
    driver_settings_ = settings;
}

std::vector<FakeSerialPort::WriteRecord> FakeSerialPort::writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
}

std::vector<std::uint8_t> FakeSerialPort::written_bytes() const {
    std::lock_guard lock(mutex_);
    std::vector<std::uint8_t> all;
    for (const auto& record : writes_) {
        all.insert(all.end(), record.bytes.begin(), record.bytes.end());
    }
    return all;
}

std::vector<std::uint32_t> FakeSerialPort::purges() const {
    std::lock_guard lock(mutex_);
    return purges_;
}

std::size_t FakeSerialPort::pending_bytes() const {
    std::lock_guard lock(mutex_);
    return incoming_.size();
}

std::optional<LineSettings> FakeSerialPort::applied_settings() const {
    std::lock_guard lock(mutex_);
    return applied_settings_;
}

std::string FakeSerialPort::opened_device() const {
    std::lock_guard lock(mutex_);
    return device_;
}

std::uint32_t FakeSerialPort::event_mask() const {
    std::lock_guard lock(mutex_);
    return event_mask_;
}

std::uint32_t FakeSerialPort::write_timeout_ms() const {
    std::lock_guard lock(mutex_);
    return write_timeout_ms_;
}

int FakeSerialPort::open_count() const {
    std::lock_guard lock(mutex_);
    return open_count_;
}

}  // namespace velkor
