// The MCU's receive line: on a paced line a byte is in only ten bit times after the byte
// before it, however fast the host hands its bytes over.
#pragma once

#include <algorithm>
#include <cstdint>

#include "sim/transmit_line.h"

namespace velkor::sim {

class ReceiveLine {
  public:
    // `pace_baud` 0 takes every byte the moment it is written.
    explicit ReceiveLine(std::uint32_t pace_baud) : byte_ns_(ByteTimeNs(pace_baud)) {}

    // When the byte the host wrote at `written_ns` has been received completely.
    std::uint64_t Arrive(std::uint64_t written_ns) {
        if (byte_ns_ == 0) {
            return written_ns;
        }
        free_ns_ = std::max(written_ns, free_ns_) + byte_ns_;
        return free_ns_;
    }

  private:
    std::uint64_t byte_ns_;
    std::uint64_t free_ns_ = 0;
};

}  // namespace velkor::sim
