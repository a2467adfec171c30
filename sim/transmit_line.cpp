#include "sim/transmit_line.h"

#include <algorithm>

#include "sim/tick_timeline.h"

namespace velkor::sim {
namespace {

// One start bit, eight data bits, one stop bit.
constexpr std::uint64_t kBitsPerByte = 10;
constexpr std::uint64_t kNsPerSecond = 1'000'000'000;

}  // namespace

std::uint64_t ByteTimeNs(std::uint32_t pace_baud) {
    return pace_baud == 0 ? 0 : kBitsPerByte * kNsPerSecond / pace_baud;
}

TransmitLine::TransmitLine(std::uint32_t pace_baud, std::optional<std::size_t> drop_after_bytes)
    : byte_ns_(ByteTimeNs(pace_baud)), drop_after_bytes_(drop_after_bytes) {}

void TransmitLine::Send(std::span<const std::uint8_t> bytes, std::uint64_t earliest_ns,
                        std::uint64_t gap_ns, std::vector<LineByte>& out) {
    for (std::uint8_t byte : bytes) {
        if (drop_after_bytes_ && bytes_sent_ >= *drop_after_bytes_) {
            return;
        }
        std::uint64_t arrival = std::max(earliest_ns, free_ns_) + byte_ns_;
        if (gap_ns != 0) {
            // The first byte keeps the gap to the byte before it or to the earliest start.
            arrival = std::max(arrival, std::max(last_arrival_ns_, earliest_ns) + gap_ns);
        }
        free_ns_ = arrival;
        last_arrival_ns_ = arrival;
        ++bytes_sent_;
        out.push_back({arrival, byte});
    }
}

std::optional<std::uint64_t> TransmitLine::DropNs() const {
    if (!drop_after_bytes_ || bytes_sent_ < *drop_after_bytes_) {
        return std::nullopt;
    }
    return bytes_sent_ == 0 ? 0 : last_arrival_ns_ + kDropDelayMs * kNsPerMs;
}

}  // namespace velkor::sim
