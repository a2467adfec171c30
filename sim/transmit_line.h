// The MCU's transmit line: bytes leave one after another, never overlapping, at the line's
// pace, and stop for good once the line has been dropped after a given number of bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace velkor::sim {

// How long one byte takes on a line of `pace_baud` (8N1: ten bit times); 0 for an unpaced line.
std::uint64_t ByteTimeNs(std::uint32_t pace_baud);

struct LineByte {
    std::uint64_t arrival_ns;  // when the host has the whole byte, on the simulator's timeline
    std::uint8_t byte;
};

class TransmitLine {
  public:
    static constexpr std::uint32_t kDropDelayMs = 20;

    // `pace_baud` 0 sends every byte at once; otherwise each byte takes ten bit times (8N1).
    TransmitLine(std::uint32_t pace_baud, std::optional<std::size_t> drop_after_bytes);

    // Queues `bytes` behind whatever is still on the line, the first starting no earlier than
    // `earliest_ns`. With `gap_ns` each byte arrives at least that long after the byte before it
    // (the first: after the line's previous byte, or after `earliest_ns`).
    void Send(std::span<const std::uint8_t> bytes, std::uint64_t earliest_ns, std::uint64_t gap_ns,
              std::vector<LineByte>& out);

    // When the line drops because its byte allowance is used up: kDropDelayMs after the last
    // byte arrived, time enough for the host to take it. Empty while bytes may follow.
    std::optional<std::uint64_t> DropNs() const;

    std::size_t bytes_sent() const { return bytes_sent_; }

  private:
    std::uint64_t byte_ns_;
    std::optional<std::size_t> drop_after_bytes_;
    std::uint64_t free_ns_ = 0;
    std::uint64_t last_arrival_ns_ = 0;
    std::size_t bytes_sent_ = 0;
};

}  // namespace velkor::sim
