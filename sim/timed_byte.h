// A byte the simulated MCU sends, with the tick at which the host can read it.
#pragma once

#include <cstdint>
#include <vector>

namespace velkor::sim {

struct TimedByte {
    std::uint32_t at_ms;  // a wrapping millisecond tick, as Clock::NowMs gives
    std::uint8_t byte;
};

using TimedBytes = std::vector<TimedByte>;
using Bytes = std::vector<std::uint8_t>;

}  // namespace velkor::sim
