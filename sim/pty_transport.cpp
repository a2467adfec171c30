#include "sim/pty_transport.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <span>

#include "platform/traffic_text.h"

namespace velkor::sim {
namespace {

// True when tick `at_ms` is not later than `now_ms`, on a wrapping tick.
bool HasCome(std::uint32_t at_ms, std::uint32_t now_ms) {
    return static_cast<std::int32_t>(now_ms - at_ms) >= 0;
}

int MsUntil(std::uint32_t at_ms, std::uint32_t now_ms) {
    const auto distance = static_cast<std::int32_t>(at_ms - now_ms);
    return distance > 0 ? distance : 0;
}

constexpr std::size_t kReadChunk = 512;

}  // namespace

PtyTransport::PtyTransport(PseudoTerminal& terminal, McuSimulator& simulator, Clock& clock)
    : terminal_(terminal), simulator_(&simulator), clock_(clock) {}

void PtyTransport::Unplug() {
    simulator_ = nullptr;
    pending_.clear();
}

void PtyTransport::PlugIn(McuSimulator& simulator) {
    simulator_ = &simulator;
    pending_.clear();
}

int PtyTransport::Serve(int wake_fd) {
    for (;;) {
        const std::uint32_t now = clock_.NowMs();
        bool blocked = false;
        if (!dropped_) {
            blocked = !WriteDue(now);
            if (const auto drop = DropTimeMs(); drop && HasCome(*drop, now)) {
                terminal_.Hangup();
                pending_.clear();
                dropped_ = true;
                Log("line dropped");
                if (hang_up_) {
                    hang_up_();
                }
            }
        }
        pollfd entries[2] = {
            {wake_fd, POLLIN, 0},
            {terminal_.master_fd(), static_cast<short>(POLLIN | (blocked ? POLLOUT : 0)), 0},
        };
        const nfds_t count = dropped_ ? 1 : 2;
        const int wake_ms = dropped_ ? -1 : NextWakeMs(now, blocked);
        if (::poll(entries, count, wake_ms) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (entries[0].revents != 0) {
            // What the tool wrote before it ended (an end record, say) still counts: the MCU
            // would have received it.
            if (!dropped_) {
                DrainInput();
            }
            return 0;
        }
        if (dropped_) {
            continue;
        }
        if ((entries[1].revents & POLLIN) != 0) {
            if (const int error = ReadInput(); error != 0) {
                return error;
            }
        } else if ((entries[1].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            return EIO;
        }
    }
}

bool PtyTransport::WriteDue(std::uint32_t now_ms) {
    const auto due = std::find_if(pending_.begin(), pending_.end(), [now_ms](const TimedByte& b) {
        return !HasCome(b.at_ms, now_ms);
    });
    Bytes chunk;
    for (auto it = pending_.begin(); it != due; ++it) {
        chunk.push_back(it->byte);
    }
    if (chunk.empty()) {
        return true;
    }
    const ssize_t written = ::write(terminal_.master_fd(), chunk.data(), chunk.size());
    if (written <= 0) {
        // Nobody drains the device: keep the bytes until the master takes them again.
        return false;
    }
    const auto count = static_cast<std::size_t>(written);
    Log(TrafficText("MCU -> host", std::span(chunk).first(count)));
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
    return count == chunk.size();
}

int PtyTransport::NextWakeMs(std::uint32_t now_ms, bool output_blocked) const {
    int wake = -1;
    if (!pending_.empty() && !output_blocked) {
        wake = MsUntil(pending_.front().at_ms, now_ms);
    }
    if (const auto drop = DropTimeMs()) {
        const int until_drop = MsUntil(*drop, now_ms);
        wake = wake < 0 ? until_drop : std::min(wake, until_drop);
    }
    return wake;
}

int PtyTransport::ReadInput() {
    std::uint8_t buffer[kReadChunk];
    const ssize_t count = ::read(terminal_.master_fd(), buffer, sizeof buffer);
    if (count < 0) {
        return (errno == EAGAIN || errno == EINTR) ? 0 : errno;
    }
    const std::span<const std::uint8_t> received(buffer, static_cast<std::size_t>(count));
    if (!received.empty()) {
        Log(TrafficText(simulator_ ? "host -> MCU" : "host -> no unit", received));
    }
    if (simulator_ == nullptr) {
        return 0;
    }
    const TimedBytes answer = simulator_->Receive(received, clock_.NowMs());
    pending_.insert(pending_.end(), answer.begin(), answer.end());
    return 0;
}

void PtyTransport::DrainInput() {
    // More than the terminal's buffers hold, and a bound should the device keep reporting
    // input that a read does not deliver.
    constexpr int kMaxChunks = 64;
    for (int chunk = 0; chunk < kMaxChunks; ++chunk) {
        pollfd entry{terminal_.master_fd(), POLLIN, 0};
        if (::poll(&entry, 1, 0) <= 0 || (entry.revents & POLLIN) == 0 || ReadInput() != 0) {
            return;
        }
    }
}

std::optional<std::uint32_t> PtyTransport::DropTimeMs() const {
    return simulator_ ? simulator_->DropTimeMs() : std::nullopt;
}

void PtyTransport::Log(std::string_view text) const {
    if (traffic_log_) {
        traffic_log_(text);
    }
}

}  // namespace velkor::sim
